#!/usr/bin/env bash
# From a real click on the download button of the demo store's large game (Iron Keep, ~75 MB)
# in the store page of the real lumo until the game's status is 6 (installed), against the sum
# of its parts timed alone in the same run: curl of the same APK from the same store, and the
# same player's install of it driven over the bridge by bench/player-install. Each run starts
# on a fresh home with the player already installed and nothing left to write back; prints
# the medians and their ratio.
# Usage: bash bench/store/store-install-bench.sh BUILD_DIR [RUNS (5)]
build=$(cd "$1" && pwd) runs=${2:-5}
source "$(dirname "$0")/store-support.sh"
package=com.lumo.demo.ironkeep
finder=$(dirname "$0")/../../tests/ui/find-control.py
find_control() { /usr/bin/python3 "$finder" "$@"; }

# Buttons inside pages are found by their accessible name on a private accessibility bus.
eval "$(dbus-launch --sh-syntax)"
PIDS_TO_KILL+=("$DBUS_SESSION_BUS_PID")
unset NO_AT_BRIDGE

# forget_home NAME: removes what a run wrote (some 150 MB of game), so that every run meets
# the disk as the first did: left in place, each run found the file system slower than the one
# before, and lumo, whose engine flushes the file to the disk, more so than curl.
forget_home() {
  rm -rf "${SANDBOX:?}/$1"
  sync
}

road_in_lumo() {
  use_home "lumo-$1"
  start_lumo
  wait_until 60 sh -c "cat $XDG_DATA_HOME/lum/log/lum-*.log | grep -q 'VM start complete.'" ||
    fail "the player did not start"
  wait_until 60 find_control "下载 铁壁要塞" || fail "no download button"
  local place start
  place=$(find_control "下载 铁壁要塞")
  xdotool mousemove "${place% *}" "${place#* }"
  # Each side starts with nothing left to write back from the run before: the engine's flush
  # of a finished file would otherwise also wait for the files the other side left behind.
  sync
  start=$(now_ms)
  xdotool click 1
  # Polled finely and without a fork, so that seeing the change adds little to the road: the
  # player's install alone is timed inside bench/player-install.
  # shellcheck disable=SC2034 # read by ask_into
  local ask_poll=0.002
  until ask_into game "$package" && [[ $asked == status=6* ]]; do
    kill -0 "$lumo" 2>/dev/null || fail "lumo ended"
    pause 0.003
  done
  road=$(($(now_ms) - start))
  close_lumo
  forget_home "lumo-$1"
}

parts_alone() {
  use_home "alone-$1"
  local start reply
  sync
  start=$(now_ms)
  curl -sf -o "$HOME/$package.apk" "$store/apk/$package.apk" || fail "curl failed"
  download=$(($(now_ms) - start))
  RUNBOX_SERVER=bench-alone "$player" >"$HOME/player.out" 2>&1 &
  local alone=$!
  PIDS_TO_KILL+=("$alone")
  reply=$("$build/bench/player-install" bench-alone "$HOME/$package.apk") ||
    fail "the player's install failed: $reply"
  install=${reply##*ms=}
  wait_until 30 sh -c "! kill -0 $alone" || fail "the player did not end"
  forget_home "alone-$1"
}

for run in $(seq 1 "$runs"); do
  step "run $run: the click in lumo"
  road_in_lumo $run
  step "run $run: the parts alone"
  parts_alone $run
  sum=$((download + install))
  roads+=("$road") downloads+=("$download") installs+=("$install") sums+=("$sum")
  echo "run $run: lumo $road ms; curl $download ms + player install $install ms = $sum ms"
done
road=$(median "${roads[@]}") sum=$(median "${sums[@]}")
stats "click to installed, lumo ms" "${roads[@]}"
stats "parts alone (curl + player install) ms" "${sums[@]}"
stats "curl ms" "${downloads[@]}"
stats "player install ms" "${installs[@]}"
ratio "click to installed lumo/parts" "$road" "$sum"
