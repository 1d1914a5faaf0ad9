#!/usr/bin/env bash
# The worst UI stall of a very first start: a new home folder, a new X server and a new session
# bus, the demo store up and the player installed, from the start until 3 s after the store
# home page has loaded. Lumo is read through its test hook's 10 ms probe; its peer is the bare
# GTK window with a WebKitWebView (bench/store-paint-peer, with a probe of its own) loading the
# same page. They start in turn, each in a sandbox of its own. Prints each start, the minimum
# and the median of each, and the ratio of the medians.
# Usage: bash bench/store/first-start-bench.sh BUILD_DIR [RUNS (3)]
if [ "${2:-}" = --once ]; then
  build=$(cd "$1" && pwd)
  source "$(dirname "$0")/store-support.sh"
  use_home first
  if [ "$3" = lumo ]; then
    start_lumo
    until [[ "$(ask loaded)" == epoch_ms=* ]]; do
      kill -0 "$lumo" 2>/dev/null || fail "lumo ended"
      pause 0.02
    done
    pause 3
    ask lateness | sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p'
    close_lumo
  else
    out=$SANDBOX/peer.out
    "$build/bench/store-paint-peer" "$store/index.html?pc=1" >"$out" 2>/dev/null &
    peer=$!
    PIDS_TO_KILL+=("$peer")
    wait_until 60 grep -q "^loaded " "$out" || fail "the peer did not load the page"
    pause 3
    kill "$peer"
    wait "$peer" 2>/dev/null
    sed -n 's/^worst_ms=//p' "$out"
  fi
  exit 0
fi

build=$(cd "$1" && pwd) runs=${2:-3}
source "$(dirname "$0")/../ui/bench-support.sh"
once() { bash "$0" "$build" --once "$1" 2>/dev/null; }
declare -a lumos peers
for run in $(seq 1 "$runs"); do
  peer=$(once peer)
  lumo=$(once lumo)
  [[ -n $peer && -n $lumo ]] || fail "run $run gave no figure (peer '$peer', lumo '$lumo')"
  peers+=("$peer") lumos+=("$lumo")
  echo "run $run: worst stall lumo $lumo ms, peer $peer ms"
done
stats "first start worst stall, lumo ms" "${lumos[@]}"
stats "first start worst stall, peer ms" "${peers[@]}"
ratio "first start worst stall lumo/peer" "$(median "${lumos[@]}")" "$(median "${peers[@]}")"
