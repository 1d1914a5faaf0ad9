#!/usr/bin/env bash
# From the exec of the real lumo until its main browser has finished loading the store home
# page (WebKit's load-changed FINISHED, read through the test hook's "loaded"), against a bare
# GTK window with a WebKitWebView (bench/store-paint-peer) loading the same page from the same
# store, with the same signal, in the same run. Both start warm (one start each first, so
# their web caches and lumo's home hold what a second start finds); the player is installed.
# Prints the medians and their ratio. Usage: bash bench/store/store-paint-bench.sh BUILD_DIR [RUNS (3)]
build=$(cd "$1" && pwd) runs=${2:-3}
source "$(dirname "$0")/store-support.sh"
home_url="$store/index.html?pc=1"
use_home warm

peer_start() {
  local start out=$SANDBOX/peer.out loaded
  : >"$out"
  start=$(now_ms)
  "$build/bench/store-paint-peer" "$home_url" >"$out" 2>/dev/null &
  local peer=$!
  PIDS_TO_KILL+=("$peer")
  wait_until 60 grep -q "^loaded .* $home_url\$" "$out" || fail "the peer did not load the page"
  loaded=$(grep -m 1 "^loaded " "$out" | cut -d' ' -f2)
  peer_ms=$((loaded - start))
  kill "$peer"
  wait "$peer" 2>/dev/null
}

lumo_start() {
  local start reply
  start=$(now_ms)
  start_lumo
  until [[ "$(ask loaded)" == epoch_ms=* ]]; do
    kill -0 "$lumo" 2>/dev/null || fail "lumo ended"
    sleep 0.02
  done
  reply=$(ask loaded)
  lumo_ms=$((${reply#epoch_ms=} - start))
  close_lumo
}

step "warming up"
peer_start
lumo_start
for run in $(seq 1 "$runs"); do
  step "run $run"
  peer_start
  lumo_start
  peers+=("$peer_ms") lumos+=("$lumo_ms")
  echo "run $run: lumo $lumo_ms ms, peer $peer_ms ms"
done
lumo_ms=$(median "${lumos[@]}") peer_ms=$(median "${peers[@]}")
echo "median of $runs, exec to the store home page loaded: lumo $lumo_ms ms, peer $peer_ms ms"
ratio "store page first paint lumo/peer" "$lumo_ms" "$peer_ms"
