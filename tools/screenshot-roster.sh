#!/usr/bin/env bash
# Opens the roster with ten customers under Xvfb and saves a screenshot, to
# look at the Japanese text and the layout with one's own eyes.
#
#   tools/screenshot-roster.sh <roster_driver> [out.png]
set -euo pipefail

driver=$(readlink -f "${1:?usage: screenshot-roster.sh <roster_driver> [out.png]}")
out=$(readlink -f "${2:-roster.png}")
work=$(mktemp -d /tmp/tessolo-shot.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 5> "$work/display"
Xvfb -displayfd 5 -screen 0 1024x640x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

mkdir -p "$work/db"
QT_QPA_PLATFORM=xcb QT_NO_XDG_DESKTOP_PORTAL=1 "$driver" "$work/db" 10 >"$work/driver.out" 2>"$work/driver.err" &
pids+=($!)
for _ in $(seq 100); do grep -q READY "$work/driver.out" 2>/dev/null && break; sleep 0.1; done
grep -q READY "$work/driver.out" || { cat "$work/driver.err"; exit 1; }
# Type a little so that an input field shows Japanese text too.
xdotool type --delay 20 "Tessolo" 2>/dev/null || true
sleep 0.5
import -window root "$out"
echo "$out"
