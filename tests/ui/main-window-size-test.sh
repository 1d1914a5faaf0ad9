#!/usr/bin/env bash
# Resizing, maximising and restoring the main window, by its buttons and by real drags; a
# second start brings it to the front and the close button ends the program with 0.
source "$(dirname "$0")/main-window.sh"

# Resizing keeps the floating buttons at the bottom-left corner.
ask resize 1000 700 >/dev/null
wait_ask 10 "floating at 700" "checkbox_add=30,526,96,96 btn_add_find=30,430,96,96 btn_add_local=126,478,96,96 client=1000,700" floating
shot resized-1000x700
# The window keeps a size at which nothing collapses or overlaps.
ask resize 400 200 >/dev/null
wait_ask 10 "smallest" "open * 900 640 maximized=0" window MainFrame
shot smallest

# Maximise and restore swap the two buttons.
ask click MainFrame btnMax >/dev/null
wait_ask 10 "max hidden" "visible=0*" get MainFrame btnMax
expect "restore shown" "$(ask get MainFrame btnRestore)" "visible=1*"
if [ $have_wm = 1 ]; then
  wait_ask 10 "maximized" "*maximized=1" window MainFrame
  wait_ask 10 "floating maximised" "*btn_add_local=126,678,96,96 client=1600,900" floating
fi
shot maximized
ask click MainFrame btnRestore >/dev/null
wait_ask 10 "max shown" "visible=1*" get MainFrame btnMax
expect "restore hidden" "$(ask get MainFrame btnRestore)" "visible=0*"
[ $have_wm = 1 ] && wait_ask 10 "restored" "*maximized=0" window MainFrame

# Real drags on the right edge and the bottom-left corner resize the window; a double click
# on the title bar maximises it and a second one restores it.
if [ $have_wm = 1 ]; then
  drag() {  # drag X Y DX DY PATTERN: the window's place and size once the drag is done
    xdotool mousemove "$1" "$2" mousedown 1 mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) sleep 0.2 \
      mousemove $(($1 + $3)) $(($2 + $4)) sleep 0.2 mouseup 1
    wait_ask 10 "dragged" "$5" window MainFrame
  }
  eval "$(xdotool getwindowgeometry --shell "$window")"
  drag $((X + WIDTH - 2)) $((Y + 300)) 100 0 "open $X $Y $((WIDTH + 100)) $HEIGHT *"
  dragged="open $((X - 50)) $Y $((WIDTH + 150)) $((HEIGHT + 60)) maximized=0"
  drag $((X + 2)) $((Y + HEIGHT - 2)) -50 60 "$dragged"
  xdotool mousemove $((X + 500)) $((Y + 20)) click --repeat 2 --delay 80 1
  wait_ask 10 "double click" "*maximized=1" window MainFrame
  xdotool mousemove 500 20 click --repeat 2 --delay 80 1
  wait_ask 10 "second double click" "$dragged" window MainFrame
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
echo "main window size test passed"
