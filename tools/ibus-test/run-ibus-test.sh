#!/usr/bin/env bash
# Types a name through the real input method into the roster and checks the
# reading that was captured: Xvfb, a D-Bus session, ibus-daemon with the
# mozc-jp engine, and xdotool typing "yamada" space Return "tarou" space
# Return, then "yamada" Escape (cancelled) and "1" Return into EditName.
# Expects EditName 山田太郎１ and EditNmKana ヤマダタロウ.
#
#   run-ibus-test.sh <roster_driver>
#
# mozc_server refuses to run as root, so as root the whole stack runs as
# nobody. Exit 0 = passed, 1 = failed, 77 = a piece of the stack is missing.
set -uo pipefail

driver=$(readlink -f "${1:?usage: run-ibus-test.sh <roster_driver>}")
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb dbus-run-session ibus-daemon ibus xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x /usr/lib/ibus-mozc/ibus-engine-mozc ] || { echo "SKIP: ibus-mozc is not installed"; exit 77; }
ls /usr/lib/*/qt6/plugins/platforminputcontexts/libibusplatforminputcontextplugin.so >/dev/null 2>&1 \
  || { echo "SKIP: Qt's ibus input context plugin is missing"; exit 77; }

work=$(mktemp -d /tmp/tessolo-ibus.XXXXXX)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
# Copies the unprivileged user can read and run wherever the build tree and
# the sources lie (a checkout in a private folder included).
cp "$driver" "$work/roster_driver"
cp "$here/session-bus.conf" "$here/session.sh" "$work/"
chmod 755 "$work/roster_driver"
chmod 644 "$work/session-bus.conf" "$work/session.sh"
driver="$work/roster_driver"
here="$work"

if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$work"
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH="$PATH" HOME="$work/home" WORK="$work" DRIVER="$driver" \
    dbus-run-session --config-file="$here/session-bus.conf" -- bash "$here/session.sh"
else
  env -i PATH="$PATH" HOME="$work/home" WORK="$work" DRIVER="$driver" \
    dbus-run-session --config-file="$here/session-bus.conf" -- bash "$here/session.sh"
fi
rc=$?
echo "--- driver output"; cat "$work/driver.out" 2>/dev/null
echo "--- driver errors"; tail -n 40 "$work/driver.err" 2>/dev/null
exit $rc
