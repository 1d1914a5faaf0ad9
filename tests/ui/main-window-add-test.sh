#!/usr/bin/env bash
# Adding an APK from disk: the file dialog with its "Apk文件" filter; a real APK built with aapt
# is read into a new item named after its label, with its own icon and a catalogue row.
source "$(dirname "$0")/main-window.sh"
"$tools/lumo-make-apk" "$SANDBOX/star.apk" com.example.star "Star Quest" || fail "no test APK"
ask click MainFrame optionMyGame >/dev/null
ask click MainFrame checkbox_add >/dev/null
send click MainFrame btn_add_local
wait_until 30 x_search --onlyvisible --classname '^lumo$' || fail "no file dialog"
chooser=$(x_search --onlyvisible --classname '^lumo$' | head -n 1)
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
wait_ask 30 "added from disk" "*count=3*" get MainFrame InstallList
expect "its name" "$(ask get MainFrame DetailName)" "*text=Star Quest"
[ -s "$app_dir/download/icons/com.example.star.png" ] || fail "no icon extracted"
wait_until 30 sh -c "[ \"\$(sqlite3 '$app_dir/data/data.db' \"select status from AppList where packageName='com.example.star'\")\" = 4 ]" ||
  fail "no catalogue row for the added APK"
grep -qP '\tSendLog\t309\t' "$app_dir/statsink.log" || fail "no event 309"
grep -qP '\tSendLog\t204\tcom.example.star\t' "$app_dir/statsink.log" || fail "no event 204"
shot my-games-added-from-disk
echo "main window add test passed"
