# Sourced by the tests that take games down the whole road with the real player: a private
# X server and home, the test hook, and a player that boots quickly without a window.
#   road_setup: needs $screenshots; sets $app_dir and $player_data, defines lumo_log.
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
