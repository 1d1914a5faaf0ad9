#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/ (or $LUMO_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMO_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${LUMO_BUILD_TYPE:-RelWithDebInfo} \
  ${LUMO_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
