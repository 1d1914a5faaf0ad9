#!/usr/bin/env bash
# The whole road of games in the real program: a store's download request, the download with
# its progress (paused, resumed, and resumed again after Lumo was killed), inspection by aapt,
# the install into the real player, the launch from the detail panel, a failed download that
# is retried, an install that the player refuses, and deleting and uninstalling. The store is
# real HTTP on 127.0.0.1 with Range support; every APK is built by aapt.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/road.sh"
road_setup
db=$app_dir/data/data.db
sql() { sqlite3 "$db" "$1" 2>/dev/null; }
row_status() { sql "select status from AppList where packageName='$1'"; }

# The player is installed the way its setup installs it; Lumo starts it.
"$program_dir/AKTInstaller.exe" /S /NCRC "/D=$LUMO_PROGRAMS_DIR/LUMPlayer" ||
  fail "player setup failed"

# The store: its files are served with a per-connection limit, so a download lasts long
# enough to be paused and killed.
store=$SANDBOX/store
mkdir -p "$store"
"$tools/lumo-make-apk" "$SANDBOX/road.apk" com.lumo.road "Road Trip" payload=6291456 ||
  fail "no road APK"
"$tools/lumo-make-apk" "$SANDBOX/later.apk" com.lumo.later "Later" abi=mips abi=x86 ||
  fail "no later APK"
cp "$SANDBOX/road.apk" "$store/road.apk"
convert -size 96x96 xc:'#3d7eff' -fill white -draw 'circle 48,48 48,18' "$store/road.png"
"$tools/lumo-serve-files" --dir "$store" --throttle 131072 --ranges "$SANDBOX/ranges" \
  >"$SANDBOX/port" 2>"$SANDBOX/server.err" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "store did not start"
host=http://127.0.0.1:$(head -n 1 "$SANDBOX/port")
# request PACKAGE NAME APK-FILE [SHA256]: the file's size and hash as the store states them.
request() {
  local file=$SANDBOX/$3
  [ -f "$file" ] || file=$store/$3
  local sha=${4:-$(sha256sum "$file" | cut -d' ' -f1)}
  echo "{\"packageName\":\"$1\",\"appName\":\"$2\",\"imageUrl\":\"$host/road.png\"," \
    "\"apkUrl\":\"$host/$3\",\"detailUrl\":\"$host/$1.html\",\"size\":$(stat -c %s "$file")," \
    "\"sha256\":\"$sha\"}" | tr -d ' '
}

start_lumo() {
  "$program_dir/lumo" >>"$SANDBOX/lumo.out" 2>&1 &
  lumo=$!
  PIDS_TO_KILL+=($lumo)
  wait_for_hook
}

start_lumo
wait_until 60 sh -c "cat $app_dir/log/lum-*.log | grep -q 'VM start complete.'" ||
  fail "the player did not start"
[ "$(cat "$app_dir/data/vm-abis")" = x86_64,x86,arm64-v8a ] || fail "the VM's ABIs not kept"

# A download request: the item appears selected, in the games tab, and starts downloading.
ask download "$(request com.lumo.road 'RoadTrip' road.apk)" >/dev/null
expect "games tab" "$(ask get MainFrame tab)" "*page=1*"
expect "detail name" "$(ask get MainFrame DetailName)" "*text=RoadTrip"
wait_game 60 com.lumo.road "status=1 pos=[1-9]* label=正在下载..."
expect "detail text" "$(ask get MainFrame DetailSpeed)" "*text=正在下载：*b/s"
[ -s "$app_dir/download/icons/com.lumo.road.png" ] || fail "no icon downloaded"
shot game-downloading

# Pause: the status is written.
expect "pause" "$(ask progress click)" "clicked state=2*"
wait_until 10 test "$(row_status com.lumo.road)" = 2 || fail "pause not written"
expect "paused text" "$(ask get MainFrame DetailSpeed)" "*text=点击继续下载"
shot game-paused
expect "resume" "$(ask progress click)" "clicked state=0*"
wait_game 60 com.lumo.road "status=1 *"

# Lumo is killed mid-download; started again, it resumes from the partial file.
wait_until 60 sh -c "[ \"\$(sqlite3 '$db' \"select downloadPos from AppList where packageName='com.lumo.road'\" 2>/dev/null)\" -ge 20 ]" ||
  fail "the download did not get far"
# The store's size and hash are kept beside the catalogue, so the restart checks the file too.
[ "$(sql "select size from AppCheck where packageName='com.lumo.road'")" = "$(stat -c %s "$SANDBOX/road.apk")" ] ||
  fail "the download's check was not kept"
kill -9 "$lumo"
wait "$lumo" 2>/dev/null
sleep 0.5
asked_before=$(grep -c '^/road.apk ' "$SANDBOX/ranges")
start_lumo
ask click MainFrame optionMyGame >/dev/null
wait_game 120 com.lumo.road "status=6 *"
# After the restart no part starts again from 0, and parts continue where they stopped (the
# engine's parts are 1 MiB apart; a continued one starts between two of those).
resumed=$(grep '^/road.apk ' "$SANDBOX/ranges" | tail -n +$((asked_before + 1)))
echo "$resumed" | grep -q ' bytes=0-' && fail "started again from 0: $resumed"
echo "$resumed" | awk -F'[=-]' '/bytes=/ && $2 % 1048576 {found = 1} END {exit !found}' ||
  fail "nothing continued: $resumed"
cmp -s "$SANDBOX/road.apk" "$app_dir/download/com.lumo.road.apk" || fail "downloaded APK differs"
expect "installed" "$(ask game com.lumo.road)" "status=6 * label=开始游戏吧"
expect "launch text" "$(ask progress)" "*text=启动"
wait_until 10 test "$(row_status com.lumo.road)" = 6 || fail "status 6 not written"
grep -q '^com.lumo.road' "$player_data/packages.txt" || fail "the player has not installed it"
[ -z "$(sql "select size from AppCheck where packageName='com.lumo.road'")" ] || fail "check kept"
for event in 200 201 202 204 205; do
  grep -qP "\tSendLog\t$event\tcom.lumo.road\t" "$app_dir/statsink.log" || fail "no event $event"
done
shot game-installed

# The detail control launches the game's activity in the player.
expect "launch" "$(ask progress click)" "clicked state=6*"
wait_until 30 grep -q 'launched com.lumo.road/' "$player_data/runbox.log" || fail "not launched"
grep -qP "\tSendLog\t207\tcom.lumo.road\t" "$app_dir/statsink.log" || fail "no event 207"

# A missing file fails the download; once the store has it, a retry completes it.
ask download "$(request com.lumo.later Later later.apk)" >/dev/null
wait_game 60 com.lumo.later "status=3 * label=下载失败！"
expect "failed text" "$(ask get MainFrame DetailSpeed)" "*text=下载失败，请重新尝试或重启程序"
expect "retry text" "$(ask progress)" "*text=重试"
shot game-download-failed
cp "$SANDBOX/later.apk" "$store/later.apk"
wait_until 10 sh -c "curl -sfI $host/later.apk" || fail "store did not take the file"
expect "retry" "$(ask progress click)" "clicked state=0*"
wait_game 120 com.lumo.later "status=6 *"

# A file that is not what the store says is refused, and says why.
ask download "$(request com.lumo.forged Forged later.apk "$(printf '%064d' 0)")" >/dev/null
wait_game 60 com.lumo.forged "status=3 * label=下载失败！"
expect "refused text" "$(ask get MainFrame DetailSpeed)" "*text=下载失败：文件校验不符"
lumo_log | grep -q 'com.lumo.forged download refused: 文件校验不符.' || fail "refusal not logged"
[ -e "$app_dir/download/com.lumo.forged.apk" ] && fail "a refused file was kept"
ask delete com.lumo.forged >/dev/null

# Uninstalling an installed game: the player no longer has it and the row is gone.
ask delete com.lumo.road >/dev/null
wait_game 60 com.lumo.road "none"
wait_until 10 test -z "$(row_status com.lumo.road)" || fail "road row kept"
grep -q '^com.lumo.road' "$player_data/packages.txt" && fail "the player still has it"
grep -qP "\tSendLog\t208\tcom.lumo.road\t" "$app_dir/statsink.log" || fail "no event 208"
ask delete com.lumo.later >/dev/null
wait_game 60 com.lumo.later "none"
expect "empty list page" "$(ask get MainFrame TabAppList)" "*page=1*"
shot game-all-deleted
lumo_log | grep -q 'is not supported' && fail "a game event had no effect"

# A download folder that cannot be written fails the download and says why; nothing else.
mv "$app_dir/download" "$SANDBOX/download.aside"
touch "$app_dir/download"
ask download "$(request com.lumo.nowhere Nowhere road.apk)" >/dev/null
wait_game 30 com.lumo.nowhere "status=3 * label=下载失败！"
lumo_log | grep -q "com.lumo.nowhere not downloaded: the download folder .* cannot be written" ||
  fail "unwritable folder not logged"
wait_until 10 test "$(row_status com.lumo.nowhere)" = 3 || fail "failure not written"
shot game-folder-unwritable

# A change made right before quitting is in the catalogue after the exit.
ask delete com.lumo.nowhere >/dev/null
ask click MainFrame btnClose >/dev/null
wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"
[ -z "$(row_status com.lumo.nowhere)" ] || fail "the delete made before quitting was lost"
echo "game road test passed"
