#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tessolo. The database tessolo.db
# is created beside the executable (build/) on the first start.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh
exec build/tessolo
