#!/usr/bin/env bash
# The main window as a user sees it: both tabs, the empty and the filled games list, the
# detail panel in every progress state, the context menu, the hardware dialog, resizing and
# maximising. Clicks go through X (xdotool) where the position is stable, otherwise through
# the program's test hook; every step leaves a screenshot in the screenshots folder.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/../support/xvfb.sh"
start_sandbox
start_xvfb
mkdir -p "$screenshots"
export WEBKIT_DISABLE_COMPOSITING_MODE=1
# A window manager, where installed, makes maximising real.
if command -v openbox >/dev/null; then
  openbox --sm-disable >"$SANDBOX/openbox.log" 2>&1 &
  PIDS_TO_KILL+=($!)
  have_wm=1
else
  echo "openbox not installed: maximising is checked without a window manager"
  have_wm=0
fi
source "$(dirname "$0")/hook.sh"
quit_on_close
app_dir=$XDG_DATA_HOME/lum
log() { cat "$app_dir"/log/lum-*.log; }

# Two games already in the catalogue, as an earlier run left them.
mkdir -p "$app_dir/data"
convert -size 96x96 xc:'#ff7a45' -fill white -draw 'circle 48,48 48,20' "$SANDBOX/icon1.png"
convert -size 96x96 xc:'#2bb673' -fill white -draw 'rectangle 28,28 68,68' "$SANDBOX/icon2.png"
sqlite3 "$app_dir/data/data.db" <<SQL
Create Table AppList (packageName varchar(255), appName varchar(255), imageUrl varchar(2048),
  imagePath varchar(255), status int, detailUrl varchar(2048), apkUrl varchar(2048),
  localPath varchar(255), launchActivity varchar(255), downloadPos int default 0,
  PRIMARY KEY(packageName));
INSERT INTO AppList VALUES('com.example.gems', '宝石消消乐', '', '$SANDBOX/icon1.png', 6,
  'about:blank', '', '', '', 0);
INSERT INTO AppList VALUES('com.example.racer', '极速赛车', '', '$SANDBOX/icon2.png', 3,
  'about:blank', '', '', '', 0);
SQL

"$program_dir/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)

wait_until 60 xdotool search --classname '^MainFrame$' || fail "no main window"
window=$(xdotool search --classname '^MainFrame$' | head -n 1)
wait_until 30 sh -c "xprop -id $window WM_NAME | grep -q '\"Lumo\"'" || fail "title"
xprop -id "$window" WM_CLASS | grep -q '"MainFrame", "MainFrame"' || fail "class"
wait_until 30 grep -q "test hook reading" "$app_dir"/log/lum-*.log || fail "no test hook"
geometry=$(ask window MainFrame)
expect "window" "$geometry" "open 170 90 1260 720 maximized=0"

# The store tab at start; the store is not there, so the page fails to load and says so.
expect "tab" "$(ask get MainFrame tab)" "*page=0*"
wait_until 90 sh -c "cat $app_dir/log/lum-*.log | grep -q 'did not load'" || fail "no load failure logged"
shot main-store-tab
# The Escape key does not close the main window.
xdotool key --window "$window" Escape
sleep 0.3
expect "after Escape" "$(ask window MainFrame)" "open *"

# A real click on the "My games" tab: the two stored games, the newest on top.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 300)) $((Y + 28)) click 1
sleep 0.5
expect "tab after click" "$(ask get MainFrame tab)" "*page=1*"
expect "option" "$(ask get MainFrame optionMyGame)" "*checked=1*"
expect "stored games" "$(ask get MainFrame InstallList)" "*count=2*"
expect "list page" "$(ask get MainFrame TabAppList)" "*page=0*"
expect "selected" "$(ask get MainFrame DetailName)" "*text=极速赛车"
shot my-games-stored
grep -qP '\tSendLog\t301\t' "$app_dir/statsink.log" || fail "no event 301"

# The floating add button opens its two buttons; "find in the store" goes to the store tab.
xdotool mousemove $((X + 78)) $((Y + 720 - 126)) click 1
sleep 0.5
expect "add checked" "$(ask get MainFrame checkbox_add)" "*checked=1*"
expect "find shown" "$(ask get MainFrame btn_add_find)" "visible=1*"
expect "local shown" "$(ask get MainFrame btn_add_local)" "visible=1*"
shot add-buttons-open
ask click MainFrame btn_add_find >/dev/null
expect "find hidden" "$(ask get MainFrame btn_add_find)" "visible=0*"
expect "add cleared" "$(ask get MainFrame checkbox_add)" "*checked=0*"
expect "store tab again" "$(ask get MainFrame tab)" "*page=0*"
expect "store option" "$(ask get MainFrame optionMain)" "*checked=1*"
for event in 308 310; do
  grep -qP "\tSendLog\t$event\t" "$app_dir/statsink.log" || fail "no event $event"
done
ask click MainFrame btn_right_find >/dev/null
grep -qP '\tSendLog\t311\t' "$app_dir/statsink.log" || fail "no event 311"

# More games arrive the way the catalogue load delivers them: newest on top and selected.
ask click MainFrame optionMyGame >/dev/null
echo "not an image" >"$SANDBOX/broken.png"
ask item com.example.racer 1 0 - 重复的极速赛车 >/dev/null  # downloading: left alone
ask item com.example.broken 4 0 "$SANDBOX/broken.png" 图标坏了的游戏 >/dev/null
ask item com.example.rpg 1 45 - 剑与远征 >/dev/null
expect "list count" "$(ask get MainFrame InstallList)" "*count=4*"
expect "list page" "$(ask get MainFrame TabAppList)" "*page=0*"
expect "detail page" "$(ask get MainFrame TabDetail)" "*page=0*"
expect "detail name" "$(ask get MainFrame DetailName)" "*text=剑与远征"
expect "detail text" "$(ask get MainFrame DetailSpeed)" "*text=正在下载..."
log | grep -q 'broken.png does not decode' || fail "a broken icon is not logged"
shot my-games-items

# The detail panel's progress control in every state.
declare -A texts=([0]=等待下载中 [1]=45% [2]=45% [3]=重试 [4]=模拟器安装中 [5]=正在安装...
  [6]=启动 [7]=重试 [8]=等待删除中 [9]=正在删除... [10]=重试)
for state in 0 1 2 3 4 5 6 7 8 9 10; do
  ask state "$state" 45 >/dev/null
  reply=$(ask progress)
  expect "state $state text" "$reply" "*text=${texts[$state]}"
  case $state in
    1 | 2 | 3 | 6 | 7) expect "state $state hand" "$reply" "*hand=1*" ;;
    *) expect "state $state hand" "$reply" "*hand=0*" ;;
  esac
  import -window root -crop 960x106+$((X + 300))+$((Y + 57)) "$screenshots/progress-state-$state.png" 2>/dev/null
done
ask state 4 0 >/dev/null
expect "click in 4" "$(ask progress click)" "ignored*"
ask state 6 0 >/dev/null
expect "click in 6" "$(ask progress click)" "clicked*"
# Hovering a download in progress slides the pause band in.
ask state 1 60 >/dev/null
xdotool mousemove $((X + 1260 - 140)) $((Y + 104))
sleep 1
import -window root -crop 960x106+$((X + 300))+$((Y + 57)) "$screenshots/progress-state-1-hover.png" 2>/dev/null
xdotool mousemove $((X + 700)) $((Y + 500))
ask state 6 0 >/dev/null

# Delete mode: the check box turns into "取消" and deletable games show their button.
ask click MainFrame checkbox_trash >/dev/null
expect "trash text" "$(ask get MainFrame checkbox_trash)" "*text=取消"
shot my-games-delete-mode
ask click MainFrame checkbox_trash >/dev/null
expect "trash text back" "$(ask get MainFrame checkbox_trash)" "*text=删除"

# Right-click on the list: the context menu at the pointer, launch only for status 6.
xdotool mousemove $((X + 150)) $((Y + 150)) click 3
expect "menu" "$(ask window AppListMenuWnd)" "open *"
expect "launch enabled" "$(ask get AppListMenuWnd btn_launch)" "*enabled=1*"
expect "uninstall enabled" "$(ask get AppListMenuWnd btn_uninstall)" "*enabled=1*"
shot context-menu
ask click AppListMenuWnd btn_uninstall >/dev/null
# The selected game is in status 6: its delete waits for the player to uninstall it.
wait_until 10 sh -c "grep -qP '\tSendLog\t208\t' '$app_dir/statsink.log'" || fail "uninstall not asked"
expect "menu closed" "$(ask window AppListMenuWnd)" "closed"
# A game being downloaded offers neither action.
ask state 1 45 >/dev/null
ask notify MainFrame menu InstallList 400 300 >/dev/null
expect "launch disabled" "$(ask get AppListMenuWnd btn_launch)" "*enabled=0*"
expect "uninstall disabled" "$(ask get AppListMenuWnd btn_uninstall)" "*enabled=0*"
ask close AppListMenuWnd >/dev/null

# The hardware dialog: "btn_cancel" lets the action go on, "btn_ok" ends it.
send hardfail
for _ in 1 2 3 4 5 6 7 8 9 10; do
  [[ "$(ask window HardFailWnd)" == open* ]] && break
  sleep 0.5
done
expect "hardware dialog" "$(ask window HardFailWnd)" "open *"
shot hardware-dialog
ask click HardFailWnd btn_cancel >/dev/null
wait_until 10 grep -q "^$last_sent result=1" "$hook.out" || fail "btn_cancel did not go on"
send hardfail
ask click HardFailWnd btn_ok >/dev/null
wait_until 10 grep -q "^$last_sent result=0" "$hook.out" || fail "btn_ok did not stop"

# The cloud-play window is made once and reused.
ask cloud "http://127.0.0.1:9/cloud.html" >/dev/null
expect "cloud window" "$(ask window CloudPlayWnd)" "open *"
ask cloud "http://127.0.0.1:9/other.html" >/dev/null
[ "$(xdotool search --classname '^CloudPlayWnd$' | wc -l)" -eq 1 ] || fail "a second cloud window"
shot cloud-play
ask click CloudPlayWnd btnClose >/dev/null
expect "cloud closed" "$(ask window CloudPlayWnd)" "closed"

# Adding an APK from disk: the file dialog with its "Apk文件" filter; a real APK built with
# aapt is read into a new item named after its label, with its own icon and a catalogue row.
"$tools/lumo-make-apk" "$SANDBOX/star.apk" com.example.star "Star Quest" || fail "no test APK"
ask click MainFrame checkbox_add >/dev/null
send click MainFrame btn_add_local
wait_until 30 xdotool search --onlyvisible --classname '^lumo$' || fail "no file dialog"
chooser=$(xdotool search --onlyvisible --classname '^lumo$' | head -n 1)
xprop -id "$chooser" WM_NAME | grep -q '"添加本地游戏"' || fail "file dialog title"
xdotool windowactivate --sync "$chooser"
xdotool key --window "$chooser" ctrl+l
sleep 1
# The location entry may swallow the first keys while it opens: type, select all, type again.
xdotool type --delay 20 "$SANDBOX/star.apk"
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 20 "$SANDBOX/star.apk"
sleep 0.5
import -window root "$screenshots/add-local-dialog.png" 2>/dev/null
xdotool key Return
for _ in $(seq 1 60); do
  [[ "$(ask get MainFrame InstallList)" == *count=5* ]] && break
  sleep 0.5
done
expect "added from disk" "$(ask get MainFrame InstallList)" "*count=5*"
expect "its name" "$(ask get MainFrame DetailName)" "*text=Star Quest"
[ -s "$app_dir/download/icons/com.example.star.png" ] || fail "no icon extracted"
wait_until 30 sh -c "[ \"\$(sqlite3 '$app_dir/data/data.db' \"select status from AppList where packageName='com.example.star'\")\" = 4 ]" ||
  fail "no catalogue row for the added APK"
grep -qP '\tSendLog\t309\t' "$app_dir/statsink.log" || fail "no event 309"
grep -qP '\tSendLog\t204\tcom.example.star\t' "$app_dir/statsink.log" || fail "no event 204"
shot my-games-added-from-disk

# Resizing keeps the floating buttons at the bottom-left corner.
ask resize 1000 700 >/dev/null
sleep 1
expect "floating at 700" "$(ask floating)" "checkbox_add=30,526,96,96 btn_add_find=30,430,96,96 btn_add_local=126,478,96,96 client=1000,700"
shot resized-1000x700
# The window keeps a size at which nothing collapses or overlaps.
ask resize 400 200 >/dev/null
sleep 1
expect "smallest" "$(ask window MainFrame)" "open * 900 640 maximized=0"
shot smallest

# Maximise and restore swap the two buttons.
ask click MainFrame btnMax >/dev/null
sleep 1
expect "max hidden" "$(ask get MainFrame btnMax)" "visible=0*"
expect "restore shown" "$(ask get MainFrame btnRestore)" "visible=1*"
if [ $have_wm = 1 ]; then
  expect "maximized" "$(ask window MainFrame)" "*maximized=1"
  expect "floating maximised" "$(ask floating)" "*btn_add_local=126,678,96,96 client=1600,900"
fi
shot maximized
ask click MainFrame btnRestore >/dev/null
sleep 1
expect "max shown" "$(ask get MainFrame btnMax)" "visible=1*"
expect "restore hidden" "$(ask get MainFrame btnRestore)" "visible=0*"
[ $have_wm = 1 ] && expect "restored" "$(ask window MainFrame)" "*maximized=0"

# Real drags on the right edge and the bottom-left corner resize the window; a double click
# on the title bar maximises it and a second one restores it.
if [ $have_wm = 1 ]; then
  drag() {  # drag X Y DX DY
    xdotool mousemove "$1" "$2" mousedown 1 mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) sleep 0.2 \
      mousemove $(($1 + $3)) $(($2 + $4)) sleep 0.2 mouseup 1
    sleep 0.5
  }
  eval "$(xdotool getwindowgeometry --shell "$window")"
  drag $((X + WIDTH - 2)) $((Y + 300)) 100 0
  drag $((X + 2)) $((Y + HEIGHT - 2)) -50 60
  expect "dragged" "$(ask window MainFrame)" "open $((X - 50)) $Y $((WIDTH + 150)) $((HEIGHT + 60)) *"
  xdotool mousemove $((X + 500)) $((Y + 20)) click --repeat 2 --delay 80 1
  sleep 1
  expect "double click" "$(ask window MainFrame)" "*maximized=1"
  xdotool mousemove 500 20 click --repeat 2 --delay 80 1
  sleep 1
  expect "second double click" "$(ask window MainFrame)" "open $((X - 50)) $Y $((WIDTH + 150)) $((HEIGHT + 60)) maximized=0"
fi

# A second start brings the window to the front; the close button ends the program with 0.
"$program_dir/lumo" >/dev/null 2>&1
[ $? -eq 255 ] || fail "second start"
wait_until 30 sh -c "cat $app_dir/log/lum-*.log | grep -q 'brought to front'" || fail "not raised"
ask click MainFrame btnClose >/dev/null
wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"
wait "$lumo"
status=$?
[ $status -eq 0 ] || fail "exit status $status"
grep -qP '\tSendLog\t307\t' "$app_dir/statsink.log" || fail "no event 307"
echo "main window test passed"
