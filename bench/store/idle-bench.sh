# Wake-ups and memory of the real lumo left alone, against the bare GTK+WebKit window
# (bench/store-paint-peer) showing the same store page, over ROUNDS rounds. In each round both
# start at once, each on an X server of its own so that neither sees the other's window, and
# both are watched over the same SECONDS. Both start warm; lumo finds no player, so it
# downloads the player's setup through the engine, installs and starts it: its download engine
# and polling thread are loaded and have worked before they are watched. The watch begins
# once lumo's start-up work is done (the player installed, the engine's process ended after its
# idle time; 30 s at most) and both have run for 10 s at least. Wake-ups are the context
# switches of all threads of each main process (voluntary and not, from /proc), per second;
# memory is its RSS at the end, with that of lumo's download engine process when one runs then.
# Lumo runs without the test hook, whose probe timer would wake it. The threads that woke in
# the last round are listed.
# Usage: bash bench/store/idle-bench.sh BUILD_DIR [SECONDS (30)] [ROUNDS (3)]
build=$(cd "$1" && pwd) seconds=${2:-30} rounds=${3:-3}
source "$(dirname "$0")/store-support.sh"
unset LUMO_TEST_HOOK
home_url="$store/index.html?pc=1"
use_home warm

# The peer's own X server.
fifo=$SANDBOX/peer-displayfd
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$fifo" >"$SANDBOX/peer-xvfb.log" 2>&1 &
PIDS_TO_KILL+=($!)
read -r -t 30 peer_display <"$fifo" || fail "the peer's Xvfb did not start"
peer_display=:$peer_display

# switches PID: "TID NAME COUNT" for every thread of the process.
switches() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v tid="${task##*/}" -v name="$(tr ' ' _ <"$task/comm" 2>/dev/null)" \
      '/^(non)?voluntary_ctxt_switches/ {n += $2} END {if (name != "") print tid, name, n}' \
      "$task/status" 2>/dev/null
  done
}
# rate NAME: sets idle_NAME, the wake-ups per second between NAME.before and NAME.after.
rate() {
  # Threads seen only at the end count from zero.
  awk -v s="$seconds" 'NR == FNR {b[$1] = $3; next} {d = $3 - b[$1]; t += d; if (d > 0)
    printf "    %-20s %6.2f/s\n", $2, d / s} END {printf "total %.2f\n", t / s}' \
    "$SANDBOX/$1.before" "$SANDBOX/$1.after" >"$SANDBOX/$1.idle"
  printf -v "idle_$1" '%s' "$(awk '/^total/ {print $2}' "$SANDBOX/$1.idle")"
}
rss_of() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
# started NAME: the pid of the program whose window map-watch reported in NAME.out.
started() {
  wait_until 60 grep -q "^mapped " "$SANDBOX/$1.out" || fail "the window of $1 was not mapped"
  awk '$1 == "exec" {print $3}' "$SANDBOX/$1.out"
}

step "warming up"
DISPLAY=$peer_display "$build/bench/store-paint-peer" "$home_url" >/dev/null 2>&1 &
peer=$!
start_lumo
sleep 10
kill $peer
kill -TERM "$lumo"
wait $peer 2>/dev/null
wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"

peer_rss=() lumo_rss=() peer_idle=() lumo_idle=()
for round in $(seq "$rounds"); do
  step "round $round"
  DISPLAY=$peer_display "$build/bench/map-watch" "$build/bench/store-paint-peer" "$home_url" \
    >"$SANDBOX/peer.out" 2>/dev/null &
  peer_watcher=$!
  export LUMO_PROGRAMS_DIR=$SANDBOX/fresh-programs-$round
  "$build/bench/map-watch" "$bin/lumo" >"$SANDBOX/lumo.out" 2>>"$SANDBOX/lumo.log" &
  lumo_watcher=$!
  PIDS_TO_KILL+=("$peer_watcher" "$lumo_watcher")
  started_at=$SECONDS
  peer=$(started peer)
  lumo=$(started lumo)
  wait_until 30 sh -c "[ -x '$LUMO_PROGRAMS_DIR/LUMPlayer/Runbox.exe' ] &&
    ! pgrep -P $lumo -x xldl-engine >/dev/null" || true
  sleep 2
  while [ $((SECONDS - started_at)) -lt 10 ]; do sleep 1; done
  switches "$peer" >"$SANDBOX/peer.before"
  switches "$lumo" >"$SANDBOX/lumo.before"
  sleep "$seconds"
  switches "$peer" >"$SANDBOX/peer.after"
  switches "$lumo" >"$SANDBOX/lumo.after"
  rss_peer=$(rss_of "$peer") rss_lumo=$(rss_of "$lumo")
  rate peer
  rate lumo
  engine=no
  grep -q libxldl "/proc/$lumo/maps" && engine=yes
  engine_process=ended
  for pid in $(pgrep -P "$lumo" -x xldl-engine); do
    engine_process="running, $(rss_of "$pid") KiB counted"
    rss_lumo=$((rss_lumo + $(rss_of "$pid")))
  done
  [ -x "$LUMO_PROGRAMS_DIR/LUMPlayer/Runbox.exe" ] || fail "lumo did not install the player"
  kill "$peer_watcher"
  kill -TERM "$lumo_watcher"
  wait "$peer_watcher" 2>/dev/null
  wait_until 60 sh -c "! kill -0 $lumo_watcher" || fail "lumo did not end"
  echo "round $round, idle over $seconds s: lumo $idle_lumo wake-ups/s, RSS $((rss_lumo / 1024))" \
    "MiB; peer $idle_peer wake-ups/s, RSS $((rss_peer / 1024)) MiB; download engine loaded in" \
    "lumo: $engine, its process: $engine_process"
  peer_rss+=("$rss_peer") lumo_rss+=("$rss_lumo") peer_idle+=("$idle_peer") lumo_idle+=("$idle_lumo")
done

echo "lumo's threads that woke in the last round:"
grep -v '^total' "$SANDBOX/lumo.idle"
echo "the peer's threads that woke in the last round:"
grep -v '^total' "$SANDBOX/peer.idle"
stats "wake-ups/s lumo" "${lumo_idle[@]}"
stats "wake-ups/s peer" "${peer_idle[@]}"
stats "RSS KiB lumo" "${lumo_rss[@]}"
stats "RSS KiB peer" "${peer_rss[@]}"
awk -v a="$(median "${lumo_idle[@]}")" -v b="$(median "${peer_idle[@]}")" \
  'BEGIN {printf "wake-ups/s lumo - peer (medians): %+.2f\n", a - b}'
ratio "RSS lumo/peer (medians)" "$(median "${lumo_rss[@]}")" "$(median "${peer_rss[@]}")"
