#!/usr/bin/env bash
# A first start of the real Lumo without a player: it downloads the player's setup from the
# download host, runs it silently into the programs folder, starts the player, and hears its
# VM start; closing Lumo closes the player too.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/../support/xvfb.sh"
start_sandbox
start_xvfb
export LUMO_PROGRAMS_DIR=$SANDBOX/programs RUNBOX_BOOT_MS=300
mkdir -p "$LUMO_PROGRAMS_DIR"
log=$XDG_DATA_HOME/lum/log/lum-$(date +%Y-%m-%d).log

"$tools/lumo-serve-files" "/download/AKTU/Runbox/Setup64.exe=$program_dir/AKTInstaller.exe" \
  >"$SANDBOX/port" 2>"$SANDBOX/server.err" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "file server did not start"
export LUMO_PLAYER_HOST=http://127.0.0.1:$(head -n 1 "$SANDBOX/port")

"$program_dir/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
player_exe=$LUMO_PROGRAMS_DIR/LUMPlayer/Runbox.exe
wait_until 120 test -x "$player_exe" || fail "the player was not installed: $(tail -n 5 "$log")"
[ -f "$XDG_DATA_HOME/lum/download/AKTInstaller.exe" ] || fail "setup not in the download folder"
wait_until 60 pgrep -f "^$player_exe" || fail "the installed player was not started"
player=$(pgrep -f "^$player_exe" | head -n 1)
wait_until 60 grep -q 'VM start complete.' "$log" || fail "Lumo did not hear the VM start"

window=$(xdotool search --classname '^MainFrame$' | head -n 1)
"$tools/lumo-x-close" "$window" || fail "could not close Lumo"
wait_until 60 sh -c "! kill -0 $lumo" || fail "Lumo did not end"
wait "$lumo" || fail "Lumo exited with $?"
wait_until 30 sh -c "! kill -0 $player" || fail "the player outlived Lumo"
echo PASS
