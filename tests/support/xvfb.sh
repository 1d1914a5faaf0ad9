# Sourced by UI tests: a private X server and home folder for one test.
#   start_sandbox   makes $SANDBOX with HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR inside it, and
#                   points RUNBOX_ADB at no program: the player never reaches the user's adb
#   start_xvfb      starts Xvfb on a free display and exports DISPLAY
#   start_session_bus  starts a private session bus, as a desktop session has, and exports
#                   DBUS_SESSION_BUS_ADDRESS
#   start_window_manager  starts openbox on that display (focus moves on clicks, maximise is real)
#   quit_on_close   a setting.ini that quits on close without asking, for a first start
#   lumo_window SECONDS [--onlyvisible]  waits for Lumo's main window and prints its id
#   x_search ARGS...  xdotool search that asks again when a window went away while it looked
#   cleanup runs on exit and kills what the test started.

set -u
PIDS_TO_KILL=()

cleanup() {
  for pid in "${PIDS_TO_KILL[@]}"; do kill "$pid" 2>/dev/null; done
  # What Lumo started from the sandbox (the player, the updater) outlives a killed Lumo.
  [ -n "${SANDBOX:-}" ] && pkill -f "^$SANDBOX/" 2>/dev/null
  wait 2>/dev/null
  [ -n "${SANDBOX:-}" ] && rm -rf "$SANDBOX"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

start_sandbox() {
  SANDBOX=$(mktemp -d /tmp/lumo-ui-XXXXXX)
  export HOME=$SANDBOX/home XDG_DATA_HOME=$SANDBOX/home/.local/share
  export XDG_RUNTIME_DIR=$SANDBOX/run XDG_CONFIG_HOME=$SANDBOX/home/.config
  export RUNBOX_ADB=$SANDBOX/no-adb
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset DBUS_SESSION_BUS_ADDRESS
  export NO_AT_BRIDGE=1
}

start_xvfb() {
  local fifo=$SANDBOX/displayfd
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$fifo" >"$SANDBOX/xvfb.log" 2>&1 &
  PIDS_TO_KILL+=($!)
  local number
  read -r -t 30 number <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=:$number
}

start_session_bus() {
  dbus-daemon --session --nofork --print-address=1 >"$SANDBOX/bus" 2>/dev/null &
  PIDS_TO_KILL+=($!)
  local tries=300
  until [ -s "$SANDBOX/bus" ]; do
    ((--tries)) || fail "no session bus"
    sleep 0.1
  done
  export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$SANDBOX/bus")
}

quit_on_close() {
  mkdir -p "$XDG_DATA_HOME/lum"
  printf '[setting]\nminOnClose=0\nquitRemember=1\n' >"$XDG_DATA_HOME/lum/setting.ini"
}

# wait_until SECONDS COMMAND...: retries COMMAND until it succeeds; bounds a failing test.
wait_until() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

# xdotool search reads each window's properties after listing them; a window destroyed in between
# (a tooltip, a window the toolkit makes for a moment) ends it through Xlib's error handler with
# the same status as no match. Such a search is asked again.
x_search() {
  local try out rc
  for try in 1 2 3 4 5 6 7 8 9 10; do
    out=$(xdotool search "$@" 2>&1)
    rc=$?
    case $out in *"X Error"*) sleep 0.05 && continue ;; esac
    printf '%s\n' "$out" | grep -E '^[0-9]+$'
    return $rc
  done
  return 1
}
export -f x_search

# Every window of Lumo (tooltips, menus, dialogs) has the class MainFrame; the main one is also
# named Lumo. A window found only by its class may be a tooltip that is gone a moment later.
lumo_window() {
  local deadline=$((SECONDS + $1)) id
  shift
  while :; do
    for id in $(xdotool search "$@" --classname '^MainFrame$' 2>/dev/null); do
      xprop -id "$id" WM_NAME 2>/dev/null | grep -q '= "Lumo"$' && echo "$id" && return 0
    done
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

# Returns once openbox has taken the screen: a test that raced it would find no activation and
# no iconified windows. Under load it may not come up at the first try; it gets a second.
start_window_manager() {
  local try pid
  for try in 1 2; do
    openbox --sm-disable >>"$SANDBOX/openbox.log" 2>&1 &
    pid=$!
    PIDS_TO_KILL+=($pid)
    wait_until 30 sh -c "kill -0 $pid && xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" &&
      return 0
    kill "$pid" 2>/dev/null
  done
  echo "openbox did not take the screen: $(tail -n 5 "$SANDBOX/openbox.log")" >&2
  return 1
}
