#!/usr/bin/env bash
# Lumo kept busy for minutes: round after round a store asks for a game, a second start hands
# over an APK from disk, both are installed into the real player, one is launched and both are
# deleted. Lumo must stay up all along and end only when asked: a hang-up signal then ends it in
# order, with its cause in the log, and nothing it saved is lost.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/road.sh"
road_setup
seconds=${LUMO_SOAK_SECONDS:-180}
db=$app_dir/data/data.db

"$program_dir/AKTInstaller.exe" /S /NCRC "/D=$LUMO_PROGRAMS_DIR/LUMPlayer" ||
  fail "player setup failed"
store=$SANDBOX/store
mkdir -p "$store"
"$tools/lumo-make-apk" "$store/soak.apk" com.lumo.soak "Soak" payload=1048576 || fail "no APK"
"$tools/lumo-make-apk" "$SANDBOX/disk.apk" com.lumo.disk "Disk" || fail "no disk APK"
"$tools/lumo-serve-files" --dir "$store" >"$SANDBOX/port" 2>"$SANDBOX/server.err" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "store did not start"
host=http://127.0.0.1:$(head -n 1 "$SANDBOX/port")
request="{\"packageName\":\"com.lumo.soak\",\"appName\":\"Soak\",\"apkUrl\":\"$host/soak.apk\",\
\"detailUrl\":\"$host/com.lumo.soak.html\",\"size\":$(stat -c %s "$store/soak.apk")}"

"$program_dir/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
wait_for_hook
wait_until 60 sh -c "cat $app_dir/log/lum-*.log | grep -q 'VM start complete.'" ||
  fail "the player did not start"
alive() {
  kill -0 "$lumo" 2>/dev/null || fail "Lumo ended in round $round: $(lumo_log | tail -n 5)"
}

round=0 launches=0
deadline=$((SECONDS + seconds))
while [ $SECONDS -lt $deadline ]; do
  round=$((round + 1))
  ask download "$request" >/dev/null
  "$program_dir/lumo" "$SANDBOX/disk.apk" >>"$SANDBOX/second.out" 2>&1
  wait_game 120 com.lumo.soak "status=6 *"
  wait_game 120 com.lumo.disk "status=6 *"
  alive
  sleep 1.6 # a launch within 1.5 s of the last one is taken for a double click
  expect "launch in round $round" "$(ask progress click)" "clicked state=6*"
  launches=$((launches + 1))
  wait_until 30 test "$(grep -c 'launched com.lumo.' "$player_data/runbox.log")" -ge $launches ||
    fail "round $round: not launched: $(lumo_log | tail -n 8)"
  ask delete com.lumo.soak >/dev/null
  ask delete com.lumo.disk >/dev/null
  wait_game 60 com.lumo.soak "none"
  wait_game 60 com.lumo.disk "none"
  alive
  [ -e "$app_dir/download/com.lumo.soak.apk" ] && fail "round $round: the store's APK was kept"
  [ -f "$SANDBOX/disk.apk" ] || fail "round $round: the user's own APK was deleted"
done
[ $round -ge 3 ] || fail "only $round rounds in $seconds s"
lumo_log | grep -q 'close asked by' && fail "a close nobody asked for: $(lumo_log | grep 'close asked')"

# A game kept at the end is in the catalogue after the hang-up ends Lumo.
ask download "$request" >/dev/null
wait_game 120 com.lumo.soak "status=6 *"
kill -HUP "$lumo"
wait_until 60 sh -c "! kill -0 $lumo" || fail "Lumo did not end on a hang-up"
lumo_log | grep -q 'close asked by signal SIGHUP: quit, without the question.' ||
  fail "the hang-up was not logged"
lumo_log | tail -n 1 | grep -q 'Lumo shut down.' || fail "no orderly shutdown"
[ "$(sqlite3 "$db" "select status from AppList")" = 6 ] || fail "the kept game was lost"
echo "soak test passed after $round rounds"
