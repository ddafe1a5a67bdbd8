#!/usr/bin/env bash
# Checks the Debian package that tools/package.sh made: lintian finds no
# error, the desktop entry and the AppStream metainfo validate, and the
# program unpacked into a scratch root (dpkg-deb -x) starts offscreen as an
# unprivileged user whose HOME is a scratch folder: it creates
# ~/.local/share/Tessolo/tessolo.db with the three tables, writes nothing
# into the unpacked tree, and shows the map page from the unpacked
# share/tessolo/velmo.
#   tools/package-test.sh [package.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(readlink -f "${1:-$(ls build/package/tessolo_*_amd64.deb | head -n1)}")

echo "--- $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends | sed 's/^/Depends: /'
echo "--- lintian"
lintian --fail-on error "$deb"
echo "(no error)"

work=$(mktemp -d /tmp/tessolo-package.XXXXXX)
chmod 755 "$work"
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
echo "--- only what the page loads, and the papers"
extra=$(cd "$root" && find usr/share/tessolo/velmo \( -name '*.map' -o -name '*-src.js' -o -name '*-src.esm.js' \
  -o -name 'topojson-client.js' \) | sort)
[ -z "$extra" ] || { echo "FAIL: shipped but never loaded: $extra" >&2; exit 1; }
grep -q '^License: Expat' "$root/usr/share/doc/tessolo/copyright" || { echo "FAIL: no MIT licence in copyright" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
"$root/usr/bin/tessolo" --version | grep -qx "Tessolo $version" || { echo "FAIL: --version is not $version" >&2; exit 1; }
set +e
"$root/usr/bin/tessolo" --bogus --version >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 2 ] || { echo "FAIL: an unknown option ended with $rc, not 2" >&2; exit 1; }

echo "--- desktop-file-validate, appstreamcli validate --no-net"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

echo "--- the unpacked program's first start"
home=$work/home
mkdir -p "$home"
(cd "$root" && find . | sort) >"$work/before"
port=$((20000 + RANDOM % 20000))
run=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$home"
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
"${run[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_REMOTE_DEBUGGING=127.0.0.1:$port \
  "$root/usr/bin/tessolo" >"$work/app.log" 2>&1 &
app=$!

# The page's title is set once the page has loaded; a page the server could
# not find has none.
title=$(sed -n 's:.*<title>\(.*\)</title>.*:\1:p' "$root/usr/share/tessolo/velmo/tessolo.html")
loaded=
for _ in $(seq 1 180); do
  if curl -s "http://127.0.0.1:$port/json/list" 2>/dev/null \
      | grep -q "\"title\": *\"$title\""; then
    loaded=yes
    break
  fi
  kill -0 "$app" 2>/dev/null || break
  sleep 0.5
done
curl -s "http://127.0.0.1:$port/json/list" | grep -E '"(title|url)"' || true
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
app=
if [ -z "$loaded" ]; then
  echo "FAIL: the map page did not load" >&2
  tail -n 30 "$work/app.log" >&2
  exit 1
fi

db=$home/.local/share/Tessolo/tessolo.db
[ -f "$db" ] || { echo "FAIL: no $db" >&2; ls -laR "$home" >&2; exit 1; }
tables=$(sqlite3 "$db" "select name from sqlite_master where type = 'table' order by rowid" | tr '\n' ' ')
[ "$tables" = "m_postal t_customer m_our_company " ] || { echo "FAIL: tables: $tables" >&2; exit 1; }
mode=$(stat -c %a "$db")
[ "$mode" = 600 ] || { echo "FAIL: $db has mode $mode, not 600" >&2; exit 1; }
ls "$home/.local/share/Tessolo/backup/" | grep -q -- '-start\.db$' || { echo "FAIL: no first-start copy" >&2; exit 1; }
(cd "$root" && find . | sort) >"$work/after"
if ! cmp -s "$work/before" "$work/after"; then
  echo "FAIL: the program wrote into the unpacked tree:" >&2
  diff "$work/before" "$work/after" >&2 || true
  exit 1
fi
echo "ok: map page \"$title\" loaded from the unpacked share/tessolo/velmo; $db has: $tables"
