#!/usr/bin/env bash
# The longest the UI thread stalls while a large game (default 512 MiB) goes the whole road:
# a store download request, the download from a local server, inspection by aapt and the
# install into the real player. Measured inside lumo by the test hook's probe (the worst
# lateness of a 10 ms timer of input priority), against the same probe over the same time on
# the idle window of the same lumo for as long again, once the game is in.
# Usage: bash bench/ui/install-stall-bench.sh BUILD_DIR [MiB]
build=$(cd "$1" && pwd) mib=${2:-512}
source "$(dirname "$0")/bench-support.sh"
start_desktop
export WEBKIT_DISABLE_COMPOSITING_MODE=1 RUNBOX_HEADLESS=1 RUNBOX_BOOT_MS=300
export LUMO_PROGRAMS_DIR=$SANDBOX/programs
app_dir=$XDG_DATA_HOME/lum
"$build/bin/AKTInstaller.exe" /S /NCRC "/D=$LUMO_PROGRAMS_DIR/LUMPlayer" || fail "no player"

step() { echo "$(date +%T) $*" >&2; }
step "building the APK"
store=$SANDBOX/store
mkdir -p "$store"
"$build/tests/lumo-make-apk" "$store/big.apk" com.lumo.big "Big Game" \
  payload=$((mib * 1024 * 1024)) || fail "no APK"
"$build/tests/lumo-serve-files" --dir "$store" >"$SANDBOX/port" 2>"$SANDBOX/server.err" &
PIDS_TO_KILL+=($!)
until [ -s "$SANDBOX/port" ]; do sleep 0.1; done
host=http://127.0.0.1:$(head -n 1 "$SANDBOX/port")
# The server takes a file once it has read it whole.
until curl -sfI "$host/big.apk" >/dev/null; do sleep 0.2; done

step "starting lumo"
start_hook
"$build/bin/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
until grep -qs 'VM start complete.' "$app_dir"/log/lum-*.log; do sleep 0.1; done
ask click MainFrame optionMyGame >/dev/null

# The road first, then the idle window; both probes run in the same process.
step "the road"
ask lateness >/dev/null
start=$(now_ms)
ask download "{\"packageName\":\"com.lumo.big\",\"appName\":\"Big\",\"apkUrl\":\"$host/big.apk\"}" \
  >/dev/null
until [[ "$(ask game com.lumo.big)" == status=[367]* ]]; do
  sleep 0.2
  kill -0 $lumo 2>/dev/null || fail "lumo ended: $(tail -n 5 "$SANDBOX/lumo.out")"
done
step "the idle window"
road_ms=$(($(now_ms) - start))
road=$(ask lateness)
result=$(ask game com.lumo.big)
sleep $(awk -v ms=$road_ms 'BEGIN {printf "%.1f", ms / 1000}')
idle=$(ask lateness)

worst() { sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p' <<<"$1"; }
echo "game: $mib MiB, $result after $road_ms ms"
echo "road (download, inspection, install): $road"
echo "idle window, as long again: $idle"
ratio "worst lateness road/idle" "$(worst "$road")" "$(worst "$idle")"
