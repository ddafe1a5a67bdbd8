#!/usr/bin/env bash
# The inside of run-ibus-test.sh: runs in a fresh D-Bus session as an
# unprivileged user with HOME and WORK set. Starts Xvfb, ibus-daemon with
# Mozc active in hiragana, the roster driver, types, and checks.
set -uo pipefail

export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$WORK/run"
export GSETTINGS_BACKEND=memory LANG=C.UTF-8 LC_ALL=C.UTF-8
mkdir -p "$XDG_CONFIG_HOME/mozc" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Mozc starts in hiragana rather than direct input.
cat > "$XDG_CONFIG_HOME/mozc/ibus_config.textproto" <<'CFG'
engines {
  name : "mozc-jp"
  longname : "Mozc"
  layout : "default"
  layout_variant : ""
  layout_option : ""
  rank : 80
}
active_on_launch: True
CFG

pids=()
cleanup() {
  ibus exit >/dev/null 2>&1
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  # mozc_server and mozc_renderer outlive ibus: stop ours, found by the
  # program and by our HOME, one pid at a time.
  for d in /proc/[0-9]*; do
    case "$(readlink "$d/exe" 2>/dev/null)" in
      /usr/lib/mozc/*)
        grep -qz "^HOME=$HOME\$" "$d/environ" 2>/dev/null && kill "${d#/proc/}" 2>/dev/null ;;
    esac
  done
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  echo "--- current engine: $(ibus engine 2>&1)"
  echo "--- ibus log"; tail -n 20 "$WORK/ibus.log"
  echo "--- processes"; ps -u "$(id -u)" -o pid,etime,cmd
  exit 1
}

# A free display, chosen by Xvfb itself.
exec 5> "$WORK/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$WORK/display")"

ibus-daemon --daemonize --replace --panel=disable --xim >"$WORK/ibus.log" 2>&1
for _ in $(seq 100); do ibus list-engine 2>/dev/null | grep -q mozc-jp && break; sleep 0.1; done
ibus list-engine 2>/dev/null | grep -q mozc-jp || fail "ibus does not list mozc-jp"

export QT_IM_MODULE=ibus QT_QPA_PLATFORM=xcb QT_NO_XDG_DESKTOP_PORTAL=1 TESSOLO_DRIVER_TRACE=1
mkdir -p "$WORK/db"
"$DRIVER" "$WORK/db" 3 >"$WORK/driver.out" 2>"$WORK/driver.err" &
pids+=($!)
for _ in $(seq 100); do grep -q READY "$WORK/driver.out" 2>/dev/null && break; sleep 0.1; done
grep -q READY "$WORK/driver.out" || fail "the roster driver did not come up"

win=$(xdotool search --name '名簿一覧' | head -n1)
[ -n "$win" ] && xdotool windowfocus --sync "$win" 2>/dev/null
# The engine goes to the focused input context, which exists now.
sleep 0.3
# Its answer comes before the engine process is up and may read as a failure;
# what counts is that the engine is then the current one.
ibus engine mozc-jp >/dev/null 2>&1
for _ in $(seq 50); do [ "$(ibus engine 2>/dev/null)" = mozc-jp ] && break; sleep 0.1; done
[ "$(ibus engine 2>/dev/null)" = mozc-jp ] || fail "cannot select mozc-jp"
sleep 1

type_conversion() { # romaji
  xdotool type --delay 120 "$1"; sleep 0.4
  xdotool key space; sleep 0.6
  xdotool key Return; sleep 0.6
}
type_conversion yamada
type_conversion tarou
# A composition cancelled with Escape leaves no reading behind: the digit
# typed and committed next adds none.
xdotool type --delay 120 yamada; sleep 0.4
xdotool key Escape; sleep 0.6
xdotool type --delay 120 1; sleep 0.4
xdotool key Return; sleep 0.6

want=$'EditName=山田太郎１\tEditNmKana=ヤマダタロウ'
for _ in $(seq 30); do
  [ "$(tail -n1 "$WORK/driver.out")" = "$want" ] && { echo "PASS: $want"; exit 0; }
  sleep 0.2
done
fail "last state: $(tail -n1 "$WORK/driver.out")"
