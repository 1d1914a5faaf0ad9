#!/usr/bin/env bash
# Wake-ups and memory of the real lumo left alone, against the bare GTK+WebKit window
# (bench/store-paint-peer) showing the same store page, one after the other in one run. Both
# start warm; lumo finds no player, so it downloads the player's setup through the engine,
# installs and starts it: its download engine and polling thread are loaded and have worked
# before they are watched. Each settles for 20 s after its window is mapped and is then
# watched for SECONDS: wake-ups are the context switches of all threads of its main process
# (voluntary and not, from /proc), per second; memory is its RSS at the end, with that of the
# download engine's process when one runs then (it ends once nothing downloads). Lumo runs
# without the test hook, whose probe timer would wake it. The threads that woke are listed.
# Usage: bash bench/store/idle-bench.sh BUILD_DIR [SECONDS (30)]
build=$(cd "$1" && pwd) seconds=${2:-30}
source "$(dirname "$0")/store-support.sh"
unset LUMO_TEST_HOOK
home_url="$store/index.html?pc=1"
use_home warm

# switches PID: "TID NAME COUNT" for every thread of the process.
switches() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v tid="${task##*/}" -v name="$(tr ' ' _ <"$task/comm" 2>/dev/null)" \
      '/^(non)?voluntary_ctxt_switches/ {n += $2} END {if (name != "") print tid, name, n}' \
      "$task/status" 2>/dev/null
  done
}
# watch NAME PID: sets idle_NAME (wake-ups per second, two decimals) and rss_NAME (KiB).
watch() {
  local before=$SANDBOX/$1.before after=$SANDBOX/$1.after
  sleep 20
  switches "$2" >"$before"
  sleep "$seconds"
  switches "$2" >"$after"
  printf -v "rss_$1" '%s' "$(awk '/^VmRSS:/ {print $2}' "/proc/$2/status")"
  # Threads seen only at the end count from zero.
  awk -v s="$seconds" 'NR == FNR {b[$1] = $3; next} {d = $3 - b[$1]; t += d; if (d > 0)
    printf "    %-20s %6.2f/s\n", $2, d / s} END {printf "total %.2f\n", t / s}' \
    "$before" "$after" >"$SANDBOX/$1.idle"
  printf -v "idle_$1" '%s' "$(awk '/^total/ {print $2}' "$SANDBOX/$1.idle")"
}

step "warming up"
"$build/bench/store-paint-peer" "$home_url" >/dev/null 2>&1 &
peer=$!
sleep 5
kill $peer
wait $peer 2>/dev/null
start_lumo
sleep 10
kill -TERM "$lumo"
wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"

step "the peer"
"$build/bench/map-watch" "$build/bench/store-paint-peer" "$home_url" >"$SANDBOX/peer.out" 2>/dev/null &
watcher=$!
PIDS_TO_KILL+=("$watcher")
wait_until 60 grep -q "^mapped " "$SANDBOX/peer.out" || fail "the peer's window was not mapped"
peer=$(awk '$1 == "exec" {print $3}' "$SANDBOX/peer.out")
watch peer "$peer"
kill "$watcher"
wait "$watcher" 2>/dev/null

step "lumo"
export LUMO_PROGRAMS_DIR=$SANDBOX/fresh-programs
"$build/bench/map-watch" "$bin/lumo" >"$SANDBOX/lumo-watch.out" 2>>"$SANDBOX/lumo.out" &
watcher=$!
PIDS_TO_KILL+=("$watcher")
wait_until 60 grep -q "^mapped " "$SANDBOX/lumo-watch.out" || fail "lumo's window was not mapped"
lumo=$(awk '$1 == "exec" {print $3}' "$SANDBOX/lumo-watch.out")
watch lumo "$lumo"
engine=no
grep -q libxldl "/proc/$lumo/maps" && engine=yes
engine_process=ended
for pid in $(pgrep -P "$lumo" -x xldl-engine); do
  engine_process="running, $(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status") KiB counted"
  rss_lumo=$((rss_lumo + $(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")))
done
[ -x "$LUMO_PROGRAMS_DIR/LUMPlayer/Runbox.exe" ] || fail "lumo did not install the player"
kill -TERM "$watcher"
wait_until 60 sh -c "! kill -0 $watcher" || fail "lumo did not end"

echo "idle over $seconds s, main process: lumo $idle_lumo wake-ups/s, RSS $((rss_lumo / 1024)) MiB;" \
  "peer $idle_peer wake-ups/s, RSS $((rss_peer / 1024)) MiB"
echo "  download engine loaded in lumo: $engine; its process: $engine_process"
echo "  lumo's threads that woke:"
grep -v '^total' "$SANDBOX/lumo.idle"
echo "  the peer's threads that woke:"
grep -v '^total' "$SANDBOX/peer.idle"
ratio "RSS lumo/peer" "$rss_lumo" "$rss_peer"
