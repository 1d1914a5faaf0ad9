#!/usr/bin/env bash
# States that are true and failures that say why, in the real program with the real player:
# games that the catalogue and the player's own record disagree about are set right when the
# VM starts, a failed install shows the player's reason, and a download that cannot fit on
# the disk fails before it starts (the download folder is a real 4 MiB file system).
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/road.sh"
road_setup
db=$app_dir/data/data.db
sql() { sqlite3 "$db" "$1" 2>/dev/null; }
"$program_dir/AKTInstaller.exe" /S /NCRC "/D=$LUMO_PROGRAMS_DIR/LUMPlayer" ||
  fail "player setup failed"

small=$SANDBOX/small
mkdir -p "$small" "$app_dir/data" "$player_data"
if mount -t tmpfs -o size=4m tmpfs "$small" 2>/dev/null; then
  trap 'umount -l "$small"; cleanup' EXIT
  printf '[setting]\ndownloadDir=%s\n' "$small" >"$app_dir/setting.ini"
else
  echo "SKIP the full-disk cases: a tmpfs cannot be mounted here"
  small=
fi

# Behind Lumo's back: the catalogue says com.lumo.gone is installed and com.lumo.kept failed;
# the player's record has com.lumo.kept and com.lumo.both, not com.lumo.gone.
sql "create table AppList (packageName varchar(255), appName varchar(255), imageUrl varchar(2048),
  imagePath varchar(255), status int, detailUrl varchar(2048), apkUrl varchar(2048),
  localPath varchar(255), launchActivity varchar(255), downloadPos int default 0,
  primary key(packageName))"
for row in both:6 kept:7 gone:6; do
  sql "insert into AppList values('com.lumo.${row%:*}', '${row%:*}', '', '', ${row#*:},
    'about:blank', '', '$SANDBOX/${row%:*}.apk', '.Main', 0)"
done
printf 'com.lumo.kept\tKept\t.Main\t1\ncom.lumo.both\tBoth\t.Main\t1\n' >"$player_data/packages.txt"

start_lumo() {
  "$program_dir/lumo" >>"$SANDBOX/lumo.out" 2>&1 &
  lumo=$!
  PIDS_TO_KILL+=($lumo)
  wait_for_hook
  ask click MainFrame optionMyGame >/dev/null
}
start_lumo
wait_game() {
  wait_until 60 sh -c "[ \"\$(sqlite3 '$db' \"select status from AppList where packageName='$1'\")\" = $2 ]" ||
    fail "$1 is not written as $2"
  expect "$1" "$(ask game "$1")" "status=$2 * label=$3"
}
wait_game com.lumo.gone 7 安装失败
wait_game com.lumo.kept 6 开始游戏吧
wait_game com.lumo.both 6 开始游戏吧
expect "gone reason" "$(ask get MainFrame DetailSpeed)" "*text=安装失败：模拟器中已没有这个游戏*"
shot states-gone

# Installing it again fails for want of its file, and says so.
expect "install again" "$(ask progress click)" "clicked state=4*"
wait_until 60 sh -c "grep -q 'com.lumo.gone install complete. \[err=2\]' $app_dir/log/lum-*.log" ||
  fail "no install result"
expect "file reason" "$(ask get MainFrame DetailSpeed)" "*text=安装失败：找不到安装包文件"
# The reason outlives a restart, before the player has said anything.
kill -TERM "$lumo"
wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"
start_lumo
wait_for 30 '[[ "$(ask get MainFrame DetailSpeed)" == *text=安装失败：找不到安装包文件* ]]' ||
  fail "after a restart the panel says: $(ask get MainFrame DetailSpeed)"

[ -n "$small" ] || { echo "honest states test passed"; exit 0; }
# A 6 MiB game for a 4 MiB folder: with the store's size it fails before any byte is asked
# for; without it, as soon as the server has said how large the file is.
store=$SANDBOX/store
mkdir -p "$store"
head -c 6291456 /dev/urandom >"$store/big.apk"
"$tools/lumo-serve-files" --dir "$store" --throttle 262144 --ranges "$SANDBOX/ranges" \
  >"$SANDBOX/port" 2>"$SANDBOX/server.err" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "store did not start"
url=http://127.0.0.1:$(head -n 1 "$SANDBOX/port")/big.apk
for game in sized:',"size":6291456' unsized:; do
  name=com.lumo.${game%%:*}
  ask download "{\"packageName\":\"$name\",\"apkUrl\":\"$url\"${game#*:}}" >/dev/null
  wait_until 60 sh -c "[ \"\$(sqlite3 '$db' \"select status from AppList where packageName='$name'\")\" = 3 ]" ||
    fail "$name did not fail"
  expect "$name text" "$(ask get MainFrame DetailSpeed)" "*text=下载失败：磁盘空间不足"
  [ "$(du -sk "$small" | cut -f1)" -lt 3072 ] || fail "$name filled the disk before failing"
  [ "$game" != "${game#sized}" ] && [ -s "$SANDBOX/ranges" ] && fail "the sized game was asked for"
done
shot states-disk-full
echo "honest states test passed"
