#!/usr/bin/env bash
# Configures and builds the one build tree, build/, with warnings as errors:
# this is the build CI runs (tools/test.sh calls this script).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSOLO_WERROR=ON "$@" >/dev/null
cmake --build build -j"$(nproc)"
