#!/usr/bin/env bash
# Static checks of the project's own C++ sources with clang-tidy: the checks
# and which of them are errors are in .clang-tidy. Needs the build tree's
# compile commands, so build first:
#
#   tools/build.sh && tools/lint.sh            every source
#   tools/lint.sh app/frmmapbrows.cpp ...      only these
#
# Fails on errors; warnings and the list of functions longer than 80 lines
# are printed and pass. Files unchanged since an earlier run (in any
# checkout) are not analysed again: see tools/lint.mjs.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-tidy >/dev/null || { echo "lint: clang-tidy is missing (tools/setup.sh installs it)" >&2; exit 2; }
exec node tools/lint.mjs "$@"
