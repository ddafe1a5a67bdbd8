#!/bin/sh
# Photographs the map window under Xvfb after "全顧客位置表示", "自社表示" and
# "エリア" (5 km) with three customers and the own company.
#   tools/screenshot-map.sh [build folder] [output.png] [offline|online] [zoom steps]
# "offline" runs the program as --offline does (no tiles, no searches); zoom
# steps (e.g. 2 or -3) press the map's zoom buttons before the photograph.
set -eu
BUILD=${1:-$(dirname "$0")/../build}
OUT=${2:-$BUILD/screenshot-map.png}
MODE=${3:-online}
ZOOM=${4:-0}
DRIVER=$BUILD/tests/map/tessolo_screenshot_driver
VELMO=$BUILD/velmo
[ -x "$DRIVER" ] || cmake --build "$BUILD" --target tessolo_screenshot_driver

WORK=$(mktemp -d)
DISPLAY_NO=:97
Xvfb $DISPLAY_NO -screen 0 1024x800x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB=$!
DRV=
cleanup() {
    [ -n "$DRV" ] && kill "$DRV" 2>/dev/null || true
    kill "$XVFB" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
sleep 1

DISPLAY=$DISPLAY_NO QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 \
    "$DRIVER" "$WORK" "$VELMO" "$MODE" "$ZOOM" >"$WORK/driver.log" 2>&1 &
DRV=$!
i=0
until grep -q READY "$WORK/driver.log"; do
    i=$((i + 1))
    if [ $i -gt 120 ] || ! kill -0 "$DRV" 2>/dev/null; then
        echo "the map window did not get ready:" >&2
        tail -20 "$WORK/driver.log" >&2
        exit 1
    fi
    sleep 0.5
done
DISPLAY=$DISPLAY_NO import -window root "$OUT"
echo "saved $OUT"
