#!/usr/bin/env bash
# From the exec of the real lumo until X maps its main window (bench/map-watch, which starts
# the program) and until its main browser has finished loading the store home page (WebKit's
# load-changed FINISHED, read through the test hook's "loaded"), against a bare GTK window
# with a WebKitWebView (bench/store-paint-peer) loading the same page from the same store,
# with the same signal, in the same run, in turn. Both start warm (one start each first, so
# their web caches and lumo's home hold what a second start finds); the player is installed.
# Prints each run, the minimum and the median of each, and the ratios of the medians. Usage: bash bench/store/store-paint-bench.sh BUILD_DIR [RUNS (3)]
build=$(cd "$1" && pwd) runs=${2:-3}
source "$(dirname "$0")/store-support.sh"
home_url="$store/index.html?pc=1"
use_home warm

# field FILE WORD: the first number after WORD at the start of a line of FILE.
field() { awk -v w="$2" '$1 == w {print $2; exit}' "$1"; }

peer_start() {
  local out=$SANDBOX/peer.out start left
  : >"$out"
  "$build/bench/map-watch" "$build/bench/store-paint-peer" "$home_url" >"$out" 2>/dev/null &
  local peer=$!
  PIDS_TO_KILL+=("$peer")
  wait_until 60 grep -q "^loaded .* $home_url\$" "$out" || fail "the peer did not load the page"
  wait_until 10 grep -q "^mapped " "$out" || fail "the peer's window was not mapped"
  start=$(field "$out" exec)
  peer_map=$(($(field "$out" mapped) - start)) peer_ms=$(($(field "$out" loaded) - start))
  left=$(descendants "$peer")
  kill "$peer"
  wait "$peer" 2>/dev/null
  wait_gone $left
}

lumo_start() {
  local out=$SANDBOX/lumo-watch.out reply
  : >"$out"
  "$build/bench/map-watch" "$bin/lumo" >"$out" 2>>"$SANDBOX/lumo.out" &
  lumo=$!
  PIDS_TO_KILL+=("$lumo")
  until [[ "$(ask loaded)" == epoch_ms=* ]]; do
    kill -0 "$lumo" 2>/dev/null || fail "lumo ended"
    pause 0.02
  done
  reply=$(ask loaded)
  wait_until 10 grep -q "^mapped " "$out" || fail "lumo's window was not mapped"
  lumo_map=$(($(field "$out" mapped) - $(field "$out" exec)))
  lumo_ms=$((${reply#epoch_ms=} - $(field "$out" exec)))
  close_lumo
}

step "warming up"
peer_start
lumo_start
for run in $(seq 1 "$runs"); do
  step "run $run"
  peer_start
  lumo_start
  peers+=("$peer_ms") lumos+=("$lumo_ms") peer_maps+=("$peer_map") lumo_maps+=("$lumo_map")
  echo "run $run: mapped lumo $lumo_map ms, peer $peer_map ms;" \
    "page loaded lumo $lumo_ms ms, peer $peer_ms ms"
done
lumo_map=$(median "${lumo_maps[@]}") peer_map=$(median "${peer_maps[@]}")
lumo_ms=$(median "${lumos[@]}") peer_ms=$(median "${peers[@]}")
stats "exec to the window mapped, lumo ms" "${lumo_maps[@]}"
stats "exec to the window mapped, peer ms" "${peer_maps[@]}"
stats "exec to the store home page loaded, lumo ms" "${lumos[@]}"
stats "exec to the store home page loaded, peer ms" "${peers[@]}"
ratio "window mapped lumo/peer" "$lumo_map" "$peer_map"
ratio "store page first paint lumo/peer" "$lumo_ms" "$peer_ms"
