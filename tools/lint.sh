#!/usr/bin/env bash
# The project's static checks, each failing the run on its errors:
#   - clang-format: every C++ file as .clang-format lays it out (a difference
#     fails; `clang-format -i FILE` mends it);
#   - ESLint's recommended rules over the map page's scripts and the Node
#     tools (`npm run lint`);
#   - clang-tidy over the project's own C++ sources: the checks and which of
#     them are errors are in .clang-tidy. Needs the build tree's compile
#     commands, so build first.
#
#   tools/build.sh && tools/lint.sh            every source
#   tools/lint.sh app/frmmapbrows.cpp ...      clang-tidy on these only
#   tools/lint.sh --layout                     clang-format and ESLint only
#
# clang-tidy's warnings and the list of functions longer than 80 lines are
# printed and pass. Files unchanged since an earlier run (in any checkout)
# are not analysed again: see tools/lint.mjs.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-tidy >/dev/null || { echo "lint: clang-tidy is missing (tools/setup.sh installs it)" >&2; exit 2; }
command -v clang-format >/dev/null || { echo "lint: clang-format is missing (tools/setup.sh installs it)" >&2; exit 2; }

git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
npm run --silent lint
if [ "${1:-}" = "--layout" ]; then
  echo "lint: layout and page scripts pass"
  exit 0
fi
exec node tools/lint.mjs "$@"
