#!/usr/bin/env bash
# Sets up, builds and starts Lumo from the build tree's program folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
exec "${LUMO_BUILD_DIR:-$root/build}/bin/lumo" "$@"
