# Variables are set and read across this file and the benchmarks that source it.
# shellcheck shell=bash disable=SC2034,SC2154
# Sourced by the store benchmarks: the UI benchmarks' sandbox and hook client, the player
# installed into the sandbox, and the program folder with its store on a port of its own (so
# that no other store is met) served by the demo store lumo-store.
# A stuck run ends the benchmark (after LUMO_BENCH_LIMIT_S, 900 s) rather than hanging it.
if [ -z "${LUMO_BENCH_BOUNDED:-}" ]; then
  LUMO_BENCH_BOUNDED=1 exec timeout "${LUMO_BENCH_LIMIT_S:-900}" bash "$0" "$@"
fi
source "$(dirname "${BASH_SOURCE[0]}")/../ui/bench-support.sh"
trap 'fail "over the time limit"' TERM
start_desktop
export WEBKIT_DISABLE_COMPOSITING_MODE=1 RUNBOX_HEADLESS=1 RUNBOX_BOOT_MS=300
export LUMO_PROGRAMS_DIR=$SANDBOX/programs
player=$LUMO_PROGRAMS_DIR/LUMPlayer/Runbox.exe
"$build/bin/AKTInstaller.exe" /S /NCRC "/D=$LUMO_PROGRAMS_DIR/LUMPlayer" || fail "no player"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
store=http://127.0.0.1:$port
bin=$SANDBOX/bin
mkdir -p "$bin"
for file in "$build"/bin/*; do ln -s "$file" "$bin/"; done
rm "$bin/lumo" "$bin/cfglog.ini"
cp "$build/bin/lumo" "$bin/lumo"
sed "s/127.0.0.1:18080/127.0.0.1:$port/" "$build/bin/cfglog.ini" >"$bin/cfglog.ini"
"$build/bin/lumo-store" --port "$port" >"$SANDBOX/store.log" 2>&1 &
PIDS_TO_KILL+=($!)
wait_until 30 curl -sf "$store/games.json" || fail "the store did not start"
start_hook

step() { echo "$(date +%T) $*" >&2; }
# use_home NAME: a home folder (and runtime folder) of its own for what starts next.
use_home() {
  export HOME=$SANDBOX/$1/home XDG_RUNTIME_DIR=$SANDBOX/$1/run
  export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  quit_on_close
}
start_lumo() {
  "$bin/lumo" >>"$SANDBOX/lumo.out" 2>&1 &
  lumo=$!
  PIDS_TO_KILL+=("$lumo")
}
# Closes the running lumo the way the user does, which also closes its player.
close_lumo() {
  local left
  left=$(descendants "$lumo")
  ask click MainFrame btnClose >/dev/null
  wait_until 60 sh -c "! kill -0 $lumo" || fail "lumo did not end"
  wait_gone $left
}
# The processes a program started (WebKit's helpers, the player) end a moment after it; the
# next start waits for them, so that no timed start shares the processors with their exit.
descendants() {
  local child
  for child in $(ps -o pid= --ppid "$1"); do
    echo "$child"
    descendants "$child"
  done
}
wait_gone() {
  local pid
  for pid in "$@"; do
    wait_until 20 sh -c "! kill -0 $pid 2>/dev/null" ||
      fail "$(ps -o comm= -p "$pid") outlived the program that started it"
  done
}
