#!/usr/bin/env bash
# The main window's tabs, games list and context menu: the store tab at start, a real click on
# "My games", the floating add buttons, games arriving from the catalogue load, delete mode and
# the right-click menu.
source "$(dirname "$0")/main-window.sh"

# The store tab at start; the store is not there, so the page fails to load and says so.
expect "tab" "$(ask get MainFrame tab)" "*page=0*"
wait_until 90 sh -c "cat $app_dir/log/lum-*.log | grep -q 'did not load'" || fail "no load failure logged"
shot main-store-tab
# The Escape key does not close the main window: the click after it is handled after it.
xdotool key --window "$window" Escape
xdotool mousemove $((X + 300)) $((Y + 28)) click 1
wait_ask 10 "tab after click" "*page=1*" get MainFrame tab
expect "after Escape" "$(ask window MainFrame)" "open *"

# The two stored games, the newest on top.
expect "option" "$(ask get MainFrame optionMyGame)" "*checked=1*"
expect "stored games" "$(ask get MainFrame InstallList)" "*count=2*"
expect "list page" "$(ask get MainFrame TabAppList)" "*page=0*"
expect "selected" "$(ask get MainFrame DetailName)" "*text=极速赛车"
shot my-games-stored
grep -qP '\tSendLog\t301\t' "$app_dir/statsink.log" || fail "no event 301"

# The floating add button opens its two buttons; "find in the store" goes to the store tab.
xdotool mousemove $((X + 78)) $((Y + 720 - 126)) click 1
wait_ask 10 "add checked" "*checked=1*" get MainFrame checkbox_add
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

# Delete mode: the check box turns into "取消" and deletable games show their button.
ask click MainFrame checkbox_trash >/dev/null
expect "trash text" "$(ask get MainFrame checkbox_trash)" "*text=取消"
shot my-games-delete-mode
ask click MainFrame checkbox_trash >/dev/null
expect "trash text back" "$(ask get MainFrame checkbox_trash)" "*text=删除"

# Right-click on the list: the context menu at the pointer, launch only for an installed game.
ask state 6 0 >/dev/null
xdotool mousemove $((X + 150)) $((Y + 150)) click 3
wait_ask 10 "menu" "open *" window AppListMenuWnd
expect "launch enabled" "$(ask get AppListMenuWnd btn_launch)" "*enabled=1*"
expect "uninstall enabled" "$(ask get AppListMenuWnd btn_uninstall)" "*enabled=1*"
shot context-menu
ask click AppListMenuWnd btn_uninstall >/dev/null
# The selected game is installed: its delete waits for the player to uninstall it.
wait_until 10 sh -c "grep -qP '\tSendLog\t208\t' '$app_dir/statsink.log'" || fail "uninstall not asked"
expect "menu closed" "$(ask window AppListMenuWnd)" "closed"
# A game being downloaded offers neither action.
ask state 1 45 >/dev/null
ask notify MainFrame menu InstallList 400 300 >/dev/null
expect "launch disabled" "$(ask get AppListMenuWnd btn_launch)" "*enabled=0*"
expect "uninstall disabled" "$(ask get AppListMenuWnd btn_uninstall)" "*enabled=0*"
echo "main window list test passed"
