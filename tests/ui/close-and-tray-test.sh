#!/usr/bin/env bash
# Closing the main window as a user meets it, with a tray host of the test's own on a private
# session bus that uses the icon's menu as a panel does: the close question through real
# clicks (Escape abandons it and writes nothing, OK hides or quits, remembered or not) with
# setting.ini after each answer; without a tray host a hide minimises; the updater's quit
# request ends Lumo without a question, and a quit chosen by the user is passed on to it.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/../support/xvfb.sh"
start_sandbox
start_xvfb
mkdir -p "$screenshots"
export WEBKIT_DISABLE_COMPOSITING_MODE=1
start_window_manager || fail "no window manager"
eval "$(dbus-launch --sh-syntax)"
PIDS_TO_KILL+=("$DBUS_SESSION_BUS_PID")
source "$(dirname "$0")/hook.sh"
ini=$XDG_DATA_HOME/lum/setting.ini
host() { /usr/bin/python3 "$(dirname "$0")/tray-host.py" "$@"; }
/usr/bin/python3 "$(dirname "$0")/tray-host.py" serve &
host_pid=$!
PIDS_TO_KILL+=($host_pid)
# The panel is up before Lumo, as at an ordinary start. An icon made while the host is still
# taking its name can miss it in the indicator library, whatever Lumo does.
wait_until 30 host up || fail "the tray host did not start"

start_lumo() {
  "$program_dir/lumo" >>"$SANDBOX/lumo.out" 2>&1 &
  lumo=$!
  PIDS_TO_KILL+=($lumo)
  wait_for_hook
  window=$(lumo_window 60 --onlyvisible) || fail "no main window"
}
# The main window keeps its X window while hidden; a search could miss a window in passing.
shown() { xwininfo -id "$window" | grep -q 'Map State: IsViewable'; }
hidden() { ! shown; }
question() { x_search --onlyvisible --classname '^QuitConfirmWnd$'; }
settings() { expect "setting.ini" "$(grep -E '^(minOnClose|quitRemember)=' "$ini" | tr -d '\r' | tr '\n' ' ')" "$1"; }
ends_with() {
  wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"
  wait "$lumo"
  expect "exit status" "$?" "$1"
}

start_lumo
wait_until 30 host menu || fail "the icon did not reach the tray host"
expect "tray item" "$(host menu)" "icon=*/logo.png status=Active menu=显示界面,退出"

# Escape abandons the close: the window stays and setting.ini is not written.
click_on MainFrame btnClose
wait_until 30 question || fail "no close question"
expect "default answer" "$(ask get QuitConfirmWnd option_hide)" "*checked=1*"
shot quit-question
written=$(stat -c %y "$ini")
# The key goes to the focused window, which the question may not be at once.
xdotool windowactivate "$(question)"
wait_until 30 bash -c "xdotool key Escape; sleep 0.5; ! x_search --onlyvisible --classname '^QuitConfirmWnd$'" ||
  fail "Escape"
shown || fail "Escape closed the main window"
expect "after Escape" "$(stat -c %y "$ini")" "$written"

# OK with the default answer hides the window; the tray's "显示界面" brings it back.
click_on MainFrame btnClose
wait_until 30 question || fail "no close question"
click_on QuitConfirmWnd btn_ok
wait_until 30 hidden || fail "not hidden"
settings "minOnClose=1 quitRemember=0 "
host click 显示界面
wait_until 30 shown || fail "显示界面 did not show the window"

# The tray's "退出" follows the close rules: it asks; the answer "hide", remembered.
host click 退出
wait_until 30 question || fail "退出 did not ask"
click_on QuitConfirmWnd checkbox_remember
click_on QuitConfirmWnd btn_ok
wait_until 30 hidden || fail "not hidden"
settings "minOnClose=1 quitRemember=1 "
host activate
wait_until 30 shown || fail "the item's activation did not show the window"
host click 退出
wait_until 30 hidden || fail "not hidden"
expect "asked again" "$(ask window QuitConfirmWnd)" "closed"
# A second start brings the hidden window back.
"$program_dir/lumo" >/dev/null 2>&1
expect "second start" "$?" 255
wait_until 30 shown || fail "a second start did not show the window"

# With no tray host the window would be lost: it is minimised instead.
# The line may also be there from the start, if Lumo looked before the host had its name.
before=$(cat "$XDG_DATA_HOME"/lum/log/lum-*.log | grep -c "no tray host on the session bus")
kill "$host_pid"
wait_until 30 sh -c "[ \$(cat $XDG_DATA_HOME/lum/log/lum-*.log | grep -c 'no tray host on the session bus') -gt $before ]" ||
  fail "the host's end went unnoticed"
click_on MainFrame btnClose
wait_until 30 sh -c "xprop -id $window WM_STATE | grep -q Iconic" || fail "not minimised"
grep -q "minimised instead of hidden" "$XDG_DATA_HOME"/lum/log/lum-*.log || fail "no reason logged"

# The updater's quit request ends Lumo at once; the icon goes before the loop ends.
"$tools/lumo-post-window" MainFrame Lumo 2024 0 0 || fail "no main window to post to"
ends_with 0
grep -o "tray icon removed\|main window destroyed\|message loop ended" \
  "$XDG_DATA_HOME"/lum/log/lum-*.log | tr '\n' ' ' | grep -q "^tray icon removed main window destroyed message loop ended $" ||
  fail "destroy order"

# An updater runs beside Lumo from here on.
"$tools/lumo-post-window" --wait MainFrame Lumo更新程序 2024 >"$SANDBOX/updater.out" &
updater=$!
PIDS_TO_KILL+=($updater)
wait_until 30 grep -q ready "$SANDBOX/updater.out" || fail "no updater window"
sed -i 's/^quitRemember=1/quitRemember=0/' "$ini"

# The updater's request while the question is open: Lumo ends, nothing is written and the
# updater is not told of a quit it asked for.
start_lumo
click_on MainFrame btnClose
wait_until 30 question || fail "no close question"
expect "hide answer without a tray host" "$(ask get QuitConfirmWnd option_hide)" "*text=最小化窗口，*"
written=$(stat -c %y "$ini")
"$tools/lumo-post-window" MainFrame Lumo 2024 0 0 || fail "no main window to post to"
ends_with 0
expect "after forced quit" "$(stat -c %y "$ini")" "$written"
kill -0 $updater || fail "the updater was told"

# The answer "quit": Lumo ends with 0 and the updater is told.
start_lumo
click_on MainFrame btnClose
wait_until 30 question || fail "no close question"
click_on QuitConfirmWnd option_exit
shot quit-question-exit
click_on QuitConfirmWnd btn_ok
ends_with 0
settings "minOnClose=0 quitRemember=0 "
wait_until 30 sh -c "! kill -0 $updater" || fail "the updater was not told"
wait "$updater" || fail "the updater ended badly"
echo "close and tray test passed"
