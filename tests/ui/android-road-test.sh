#!/usr/bin/env bash
# A user with an Android device that adb reaches over the network, here the stand-in device
# that the real adb server talks to: the device is added in the settings window, checked and
# kept; the main window then names it, a click in the store installs the game on it, 启动
# starts it there and Lumo says so, and deleting the game uninstalls it from the device.
program_dir=$(cd "$1" && pwd) tools=$2 screenshots=$3
source "$(dirname "$0")/road.sh"
road_setup
start_accessibility

# The device, and an adb server of this test's own that Lumo's player reaches.
device_state=$SANDBOX/device.state
"$tools/lumo-adb-device" --port=0 --model="Pixel 7" --abis=arm64-v8a,armeabi-v7a,x86_64 \
  --state-file="$device_state" >"$SANDBOX/device.out" 2>"$SANDBOX/device.log" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/device.out" || fail "the stand-in device did not start"
address=127.0.0.1:$(head -n 1 "$SANDBOX/device.out")
# The sandbox hides the user's adb from the player; this test hands it the real one.
export RUNBOX_ADB=$(command -v adb) ANDROID_ADB_SERVER_PORT=$(free_port) TMPDIR=$SANDBOX/tmp
mkdir -p "$TMPDIR"
adb start-server >/dev/null 2>&1 || fail "adb did not start"
trap 'adb kill-server >/dev/null 2>&1; cleanup' EXIT

port=$(free_port)
own_program_folder "$program_dir" "$port"
"$program_dir/lumo-store" --port "$port" >"$SANDBOX/store.log" 2>&1 &
PIDS_TO_KILL+=($!)
wait_until 30 curl -sf "http://127.0.0.1:$port/games.json" || fail "store did not start"

"$bin/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
wait_for_hook
wait_until 120 sh -c "cat $app_dir/log/lum-*.log | grep -q 'VM start complete.'" ||
  fail "the player did not start"
wait_for 30 '[[ "$(ask get MainFrame androidState)" == *演示虚拟机* ]]' ||
  fail "the main window does not say the demo VM is in use: $(ask get MainFrame androidState)"

# The user opens the settings from the indicator, types the device's address and adds it.
click_control "安卓设备：演示虚拟机"
wait_for 30 '[[ "$(ask window SettingWnd)" == open* ]]' || fail "no settings window"
read -r x y w h <<<"$(ask where SettingWnd EditAddress)"
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
xdotool type --delay 20 "$address"
click_control "添加网络设备"
wait_for 30 '[[ "$(ask get SettingWnd androidNote)" == *已连接* ]]' ||
  fail "the device was not connected: $(ask get SettingWnd androidNote)"
wait_until 30 shows_control "Pixel 7 · $address · Android 14 · arm64-v8a,armeabi-v7a,x86_64 · 正在使用" ||
  fail "the settings do not list the device in use"
shot android-settings
click_control "确定"
wait_for 30 '[[ "$(ask window SettingWnd)" != open* ]]' || fail "settings not closed"
expect "kept" "$(tr -d '\r' <"$app_dir/setting.ini" | grep -A2 '^\[android\]')" \
  "*addresses=$address*"
expect "indicator" "$(ask get MainFrame androidState)" "*text=安卓设备：Pixel 7 · 已连接*"

# A click in the store installs the game on the device.
click_control "下载 潮汐消消乐"
package=com.lumo.demo.tidepool
wait_game 120 "$package" "status=6 *"
grep -q "^package	$package	" "$device_state" || fail "the game is not on the device"
[ -e "$player_data/packages.txt" ] && grep -q "^$package" "$player_data/packages.txt" &&
  fail "the game went into the demo VM"

# 启动 starts it on the device, and Lumo says where.
expect "launch" "$(ask progress click)" "clicked *"
wait_until 30 grep -q "^resumed	$package/" "$device_state" || fail "the game did not start on the device"
wait_for 30 '[[ "$(ask get MainFrame DetailSpeed)" == *"游戏已在 Pixel 7 上启动"* ]]' ||
  fail "Lumo did not say where the game started: $(ask get MainFrame DetailSpeed)"
shot android-launched

# Deleting the game uninstalls it from the device.
ask delete "$package" >/dev/null
wait_until 60 sh -c "! grep -q '^package	$package	' '$device_state'" ||
  fail "the game is still on the device"
echo "android road test passed"
