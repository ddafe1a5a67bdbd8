#!/usr/bin/env bash
# Builds the Debian package from a clean Release configure of the program
# alone (no tests, no benchmarks) and leaves it at
# build/package/tessolo_<version>_amd64.deb. Install it with
#   sudo apt install ./build/package/tessolo_1.0.0_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/package
tree=$out/tree
rm -rf "$out"
cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSOLO_TESTS=OFF -DTESSOLO_BENCH=OFF >/dev/null
cmake --build "$tree" -j"$(nproc)"
cpack --config "$tree/CPackConfig.cmake" -B "$PWD/$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/tessolo_*_amd64.deb
