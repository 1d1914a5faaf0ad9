#!/usr/bin/env bash
# The settings menu under the gear, the settings window and the about box, as a user meets
# them: real clicks and typing through X where it matters, the test hook elsewhere. Lumo runs
# from a program folder of the test's own (its config.ini names a version and a stand-in
# updater), on a private session bus; the user's browser and file manager are stand-ins that
# record what they were asked to open.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/../support/xvfb.sh"
start_sandbox
start_xvfb
mkdir -p "$screenshots"
export WEBKIT_DISABLE_COMPOSITING_MODE=1
# A window manager moves the focus on a click, which is what closes the menu.
start_window_manager || fail "no window manager"
source "$(dirname "$0")/hook.sh"
app_dir=$XDG_DATA_HOME/lum
setting() { tr -d '\r' <"$app_dir/setting.ini"; }
event() { grep -cP "\tSendLog\t$1\t" "$app_dir/statsink.log"; }
# X input and hook commands reach the program by different ways: wait for what a click did.
until_reply() {
  local pattern=$1
  shift
  for _ in $(seq 1 100); do
    [[ "$(ask "$@")" == $pattern ]] && return 0
    sleep 0.1
  done
  fail "$*: got '$(ask "$@")', expected '$pattern'"
}
window_is() { until_reply "$2*" window "$1"; }
click() {  # a real click in the middle of a control
  local x y w h
  read -r x y w h <<<"$(ask where "$1" "$2")"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}
open_from_menu() {
  ask click MainFrame btnSetting >/dev/null
  ask click SettingMenuWnd "$1" >/dev/null
  window_is "$2" open
}

# The program folder without the demo store, with a config.ini and an updater of the test's.
bin=$SANDBOX/bin
mkdir "$bin"
for f in "$program_dir"/*; do [ "${f##*/}" = store ] || cp -a "$f" "$bin/"; done
printf '[config]\nversion=9.8.7\nupgrade=renew\n' >"$bin/config.ini"
printf '#!/bin/sh\necho "[$*]" >>%s\n' "$SANDBOX/renew.calls" >"$bin/renew"
# The user's default browser and file manager: stand-ins that record what they are given.
apps=$XDG_DATA_HOME/applications
mkdir -p "$apps" "$XDG_CONFIG_HOME" "$SANDBOX/games"
for kind in browser files; do
  printf '#!/bin/sh\necho "$1" >>%s\n' "$SANDBOX/$kind.calls" >"$SANDBOX/$kind"
  printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s %%u\n' $kind "$SANDBOX/$kind" \
    >"$apps/test-$kind.desktop"
done
chmod +x "$bin/renew" "$SANDBOX/browser" "$SANDBOX/files"
printf '[Default Applications]\nx-scheme-handler/http=test-browser.desktop\ninode/directory=test-files.desktop\n' \
  >"$XDG_CONFIG_HOME/mimeapps.list"
dbus-daemon --session --nofork --print-address=3 3>"$SANDBOX/bus" >"$SANDBOX/bus.log" 2>&1 &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/bus" || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$SANDBOX/bus")

"$bin/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
wait_for_hook
window_is MainFrame open
wait_until 30 grep -qx '\[-silence\]' "$SANDBOX/renew.calls" || fail "no silent update check"

# A store of the test's own; one game is downloaded into the download folder of the start.
mkdir "$SANDBOX/store"
for game in before after; do
  "$tools/lumo-make-apk" "$SANDBOX/store/$game.apk" "com.lumo.$game" "$game" || fail "no APK"
done
"$tools/lumo-serve-files" --dir "$SANDBOX/store" >"$SANDBOX/port" 2>"$SANDBOX/server.err" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "store did not start"
download() {
  local host=http://127.0.0.1:$(head -n 1 "$SANDBOX/port")
  ask download "{\"packageName\":\"com.lumo.$1\",\"appName\":\"$1\",\"apkUrl\":\"$host/$1.apk\",\
\"detailUrl\":\"$host/$1.html\",\"size\":$(stat -c %s "$SANDBOX/store/$1.apk")}" >/dev/null
  until_reply "status=[4-7]*" game "com.lumo.$1"
}
download before
[ -f "$app_dir/download/com.lumo.before.apk" ] || fail "the first game is not in the first folder"

# A real click on the gear opens the menu under it; a click elsewhere closes it, doing nothing.
click MainFrame btnSetting
window_is SettingMenuWnd open
read -r x y w h <<<"$(ask where MainFrame btnSetting)"
expect "menu place" "$(ask window SettingMenuWnd)" "open $x $((y + h)) *"
shot settings-menu
xdotool mousemove 700 500 click 1
window_is SettingMenuWnd closed
expect "events after a click elsewhere" "$(event 302) $(event 303) $(ask window SettingWnd)" "1 0 closed"

# The settings window shows the folders and the close behaviour as they are.
click MainFrame btnSetting
window_is SettingMenuWnd open
click SettingMenuWnd btn_setting
window_is SettingWnd open
expect "data folder" "$(ask get SettingWnd EditData)" "*text=$app_dir"
expect "download folder" "$(ask get SettingWnd EditDownload)" "*text=$app_dir/download"
expect "hide selected" "$(ask get SettingWnd option_hide)" "*checked=1*"
shot settings-window
cp "$app_dir/setting.ini" "$SANDBOX/setting.before"
# Changed, then left through Escape and through "btnCancel": nothing is written or kept.
for way in Escape btnCancel; do
  click SettingWnd EditDownload
  xdotool key ctrl+a type "$SANDBOX/games/new"
  click SettingWnd option_exit
  until_reply "*text=$SANDBOX/games/new" get SettingWnd EditDownload
  until_reply "*checked=1*" get SettingWnd option_exit
  shot settings-changed
  if [ $way = Escape ]; then xdotool key Escape; else click SettingWnd btnCancel; fi
  window_is SettingWnd closed
  cmp -s "$app_dir/setting.ini" "$SANDBOX/setting.before" || fail "$way wrote setting.ini"
  open_from_menu btn_setting SettingWnd
  expect "kept after $way" "$(ask get SettingWnd EditDownload)" "*text=$app_dir/download"
  expect "kept after $way" "$(ask get SettingWnd option_hide)" "*checked=1*"
done
# "btnOk" saves a folder that does not exist as typed, without making it.
click SettingWnd EditDownload
xdotool key ctrl+a type "$SANDBOX/games/new"
click SettingWnd option_exit
click SettingWnd btnOk
window_is SettingWnd closed
expect "saved" "$(setting | tr '\n' ' ')" \
  "\[setting\] dataDir=$app_dir/data downloadDir=$SANDBOX/games/new minOnClose=0 quitRemember=0 \[android\] device=auto addresses= "
[ -e "$SANDBOX/games/new" ] && fail "the download folder was created"
# The next download goes to the new folder at once; the game downloaded before is still
# deleted from the folder it went to.
download after
[ -f "$SANDBOX/games/new/com.lumo.after.apk" ] || fail "the new folder was not used"
ask delete com.lumo.before >/dev/null
wait_until 10 sh -c "! test -e '$app_dir/download/com.lumo.before.apk'" ||
  fail "the earlier game's APK was left in the old folder"

# The two folders in the file manager: the data folder opens; the download folder is shown
# selected by the file manager service, or, with no service on the bus, its parent opens.
open_from_menu btn_setting SettingWnd
expect "exit kept" "$(ask get SettingWnd option_exit)" "*checked=1*"
ask click SettingWnd btn_data >/dev/null
wait_until 30 grep -qxE "(file://)?$app_dir" "$SANDBOX/files.calls" || fail "data folder not opened"
ask click SettingWnd btn_download >/dev/null
wait_until 30 grep -qxE "(file://)?$SANDBOX/games" "$SANDBOX/files.calls" || fail "no parent folder"
/usr/bin/python3 "$(dirname "$0")/file-manager-service.py" >"$SANDBOX/shown" &
PIDS_TO_KILL+=($!)
wait_until 30 grep -qx ready "$SANDBOX/shown" || fail "no file manager service"
ask click SettingWnd btn_download >/dev/null
wait_until 30 grep -qx "file://$SANDBOX/games/new" "$SANDBOX/shown" || fail "download folder not shown"
ask click SettingWnd btnClose >/dev/null
window_is SettingWnd closed

# The about box: the version from config.ini, the store's two pages in the user's browser.
open_from_menu btn_about AboutWnd
expect "version" "$(ask get AboutWnd lbVersion)" "*text=版本 9.8.7"
shot about-box
click AboutWnd btn_agreement
click AboutWnd btn_copyright
for page in agreement edition; do
  [ -f "$program_dir/store/static/$page.html" ] || fail "the demo store has no $page page"
  wait_until 30 grep -qx "http://127.0.0.1:18080/static/$page.html" "$SANDBOX/browser.calls" ||
    fail "$page page not opened"
done
xdotool key Escape
window_is AboutWnd closed

# "检查更新" starts the updater with no argument; without one it is only logged.
ask click MainFrame btnSetting >/dev/null
ask click SettingMenuWnd btn_upgrade >/dev/null
wait_until 30 grep -qx '\[\]' "$SANDBOX/renew.calls" || fail "updater not started"
rm "$bin/renew"
ask click MainFrame btnSetting >/dev/null
ask click SettingMenuWnd btn_upgrade >/dev/null
wait_until 30 sh -c "grep -q 'updater $bin/renew is not there' $app_dir/log/lum-*.log" ||
  fail "missing updater not logged"
[ "$(wc -l <"$SANDBOX/renew.calls")" -eq 2 ] || fail "updater calls: $(cat "$SANDBOX/renew.calls")"
expect "events" "$(event 302) $(event 303) $(event 304) $(event 305)" "8 4 2 1"
echo "settings test passed"
