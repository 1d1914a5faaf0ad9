#!/usr/bin/env bash
# The player with its window, next to the real Lumo: it connects to Lumo's bridge, boots its
# VM, lists the games it has installed, and its socket file goes with Lumo.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/../support/xvfb.sh"
start_sandbox
start_xvfb
quit_on_close
mkdir -p "$screenshots"
player_data=$XDG_DATA_HOME/LUMPlayer
mkdir -p "$player_data"
printf 'com.lumo.alpha\tAlpha 阿尔法\tcom.lumo.alpha.Main\t1000\nbroken line\n' >"$player_data/packages.txt"

"$program_dir/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
wait_until 60 test -S "$XDG_RUNTIME_DIR/andkite0.sock" || fail "Lumo has no bridge socket"

RUNBOX_BOOT_MS=300 "$program_dir/Runbox.exe" >"$SANDBOX/player.out" 2>&1 &
player=$!
PIDS_TO_KILL+=($player)
wait_until 60 x_search --name '^Runbox$' || fail "no player window"
place=$(xdotool getwindowgeometry "$(x_search --name '^Runbox$')" | grep Position)
[[ $place == *" 1224,240 "* ]] || fail "the player is not at the screen's right, beside Lumo: $place"
wait_until 30 grep -q 'VM started' "$player_data/runbox.log" || fail "the VM did not start"
grep -q 'packages.txt line 2 skipped' "$player_data/runbox.log" || fail "bad record line not reported"
wait_until 30 grep -q 'VM start complete.' "$XDG_DATA_HOME/lum/log/lum-$(date +%Y-%m-%d).log" ||
  fail "Lumo did not hear of the start"
sleep 0.5
import -window root "$screenshots/player-window.png" 2>/dev/null

# Lumo ends: it asks the connected player to close, and its socket file goes with it.
window=$(lumo_window 30) || fail "no main window"
"$tools/lumo-x-close" "$window" || fail "could not close Lumo"
wait_until 60 sh -c "! kill -0 $lumo" || fail "Lumo did not end"
[ -e "$XDG_RUNTIME_DIR/andkite0.sock" ] && fail "socket file left behind"
wait_until 30 sh -c "! kill -0 $player" || fail "the player was not closed with Lumo"
echo PASS
