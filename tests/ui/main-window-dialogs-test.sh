#!/usr/bin/env bash
# The detail panel's progress control, the hardware dialog and the cloud-play window.
source "$(dirname "$0")/main-window.sh"
ask click MainFrame optionMyGame >/dev/null
expect "selected" "$(ask get MainFrame DetailName)" "*text=极速赛车"

# Every state leaves a picture of the control; only a state that offers an action takes clicks.
for state in 0 1 2 3 4 5 6 7 8 9 10; do
  ask state "$state" 45 >/dev/null
  import -window root -crop 960x106+$((X + 300))+$((Y + 57)) "$screenshots/progress-state-$state.png" 2>/dev/null
done
ask state 4 0 >/dev/null
expect "click in 4" "$(ask progress click)" "ignored*"
ask state 6 0 >/dev/null
expect "click in 6" "$(ask progress click)" "clicked*"
# Hovering a download in progress slides the pause band in.
ask state 1 60 >/dev/null
xdotool mousemove $((X + 1260 - 140)) $((Y + 104))
sleep 1  # the band's slide, for the picture only
import -window root -crop 960x106+$((X + 300))+$((Y + 57)) "$screenshots/progress-state-1-hover.png" 2>/dev/null
xdotool mousemove $((X + 700)) $((Y + 500))

# The hardware dialog: "btn_cancel" lets the action go on, "btn_ok" ends it.
send hardfail
wait_ask 10 "hardware dialog" "open *" window HardFailWnd
shot hardware-dialog
ask click HardFailWnd btn_cancel >/dev/null
wait_until 10 grep -q "^$last_sent result=1" "$hook.out" || fail "btn_cancel did not go on"
send hardfail
ask click HardFailWnd btn_ok >/dev/null
wait_until 10 grep -q "^$last_sent result=0" "$hook.out" || fail "btn_ok did not stop"

# The cloud-play window is made once and reused; it covers the main window, no strip of it left.
ask cloud "http://127.0.0.1:9/cloud.html" >/dev/null
wait_ask 10 "cloud window" "open 170 90 1260 720 *" window CloudPlayWnd
ask cloud "http://127.0.0.1:9/other.html" >/dev/null
[ "$(x_search --classname '^CloudPlayWnd$' | wc -l)" -eq 1 ] || fail "a second cloud window"
shot cloud-play
ask click CloudPlayWnd btnClose >/dev/null
expect "cloud closed" "$(ask window CloudPlayWnd)" "closed"
# A page asked for once it is closed comes in a new one.
ask cloud "http://127.0.0.1:9/cloud.html" >/dev/null
expect "cloud window again" "$(ask window CloudPlayWnd)" "open *"
echo "main window dialogs test passed"
