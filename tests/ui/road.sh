# Sourced by the tests that take games down the whole road with the real player: a private
# X server and home, the test hook, and a player that boots quickly without a window.
#   road_setup: needs $screenshots; sets $app_dir and $player_data, defines lumo_log.
#   start_accessibility, then shows_control NAME [text] (by accessible name, or by the text
#   shown), click_control NAME (a mouse click) and press_control NAME (the control's
#   accessible action, whatever window lies above it).
#   wait_for SECONDS CONDITION: until the condition, run in this shell, holds.
#   wait_game SECONDS PACKAGE PATTERN: until the hook's view of the game matches.
#   free_port; own_program_folder PROGRAM_DIR PORT: sets $bin to a program folder as installed,
#   but with its store on PORT, so that other tests never meet this one's store.
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"

road_setup() {
  start_sandbox
  start_xvfb
  source "$(dirname "${BASH_SOURCE[0]}")/hook.sh"
  quit_on_close
  mkdir -p "$screenshots"
  export WEBKIT_DISABLE_COMPOSITING_MODE=1 RUNBOX_HEADLESS=1 RUNBOX_BOOT_MS=300
  export LUMO_PROGRAMS_DIR=$SANDBOX/programs
  app_dir=$XDG_DATA_HOME/lum
  player_data=$XDG_DATA_HOME/LUMPlayer
}

lumo_log() { cat "$app_dir"/log/lum-*.log; }

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
own_program_folder() {
  bin=$SANDBOX/bin
  mkdir -p "$bin"
  for file in "$1"/*; do ln -s "$file" "$bin/"; done
  rm "$bin/lumo" "$bin/cfglog.ini"
  cp "$1/lumo" "$bin/lumo"
  sed "s/127.0.0.1:18080/127.0.0.1:$2/" "$1/cfglog.ini" >"$bin/cfglog.ini"
}

# Controls are found by their accessible name on a private accessibility bus.
start_accessibility() {
  eval "$(dbus-launch --sh-syntax)"
  PIDS_TO_KILL+=("$DBUS_SESSION_BUS_PID")
  unset NO_AT_BRIDGE
}
shows_control() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/find-control.py" "$@"; }
press_control() { wait_until 60 shows_control "$1" press || fail "cannot press '$1'"; }
click_control() {  # click_control NAME: a real mouse click on the control's centre
  local place
  wait_until 60 shows_control "$1" || fail "no control '$1'"
  place=$(shows_control "$1")
  xdotool mousemove ${place% *} ${place#* } click 1
}
# wait_for SECONDS CONDITION: until the condition, run in this shell (it may ask the hook), holds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until eval "$*"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}
wait_game() {
  local deadline=$((SECONDS + $1))
  until [[ "$(ask game "$2")" == $3 ]]; do
    [ $SECONDS -ge $deadline ] && fail "$2: '$(ask game "$2")' is not '$3'"
    sleep 0.2
  done
}
