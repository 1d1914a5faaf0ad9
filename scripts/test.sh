#!/usr/bin/env bash
# Sets up, builds and runs every test. UI tests start their own X servers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMO_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
cd "$build"
ctest -j "$(nproc)" --output-on-failure "$@"
