#!/usr/bin/env bash
# Sets up, builds and starts Lumo from the build tree's program folder. When nothing answers
# on the demo store's address, starts the store first and stops it again when Lumo ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
bin=${LUMO_BUILD_DIR:-$root/build}/bin
store_url=http://127.0.0.1:18080/

answers() { curl -s -o /dev/null --max-time 2 "$store_url"; }

if ! answers; then
  "$bin/lumo-store" &
  store_pid=$!
  trap 'kill "$store_pid" 2>/dev/null || true' EXIT
  trap 'exit 130' INT TERM HUP
  for _ in $(seq 100); do
    answers && break
    kill -0 "$store_pid" 2>/dev/null || { echo "run: the store did not start" >&2; exit 1; }
    sleep 0.1
  done
fi
"$bin/lumo" "$@"
