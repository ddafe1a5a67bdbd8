#!/usr/bin/env bash
# Builds the Debian package from a clean Release configure of the program
# alone (no tests, no benchmarks) and leaves it at
# build/package/tessolo_<version>_amd64.deb. Install it with
#   sudo apt install ./build/package/tessolo_1.0.0_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# What building needs (compiler, CMake, Qt, the page's npm packages): a fresh
# machine has none of it.
tools/setup.sh
out=build/package
tree=$out/tree
rm -rf "$out"
# Debian's hardening: fortified C library calls, stack protector, read-only
# relocations bound at start (relro, bindnow).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSOLO_TESTS=OFF -DTESSOLO_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$tree" -j"$(nproc)"
cpack --config "$tree/CPackConfig.cmake" -B "$PWD/$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/tessolo_*_amd64.deb
