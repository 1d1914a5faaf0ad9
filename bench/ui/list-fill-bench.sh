#!/usr/bin/env bash
# Starts the real lumo with N games (default 10,000) in data.db, each with its own icon, under
# a private Xvfb, and measures: time from exec until the window answers and until the games
# list holds every row; the worst lateness of a 10 ms timer inside lumo during the fill (the
# test hook's probe: how long a click would wait); the slowest hook click on the tabs during the
# fill (command to reply); and peak RSS (VmHWM). The peer, in the same run, is a bare GTK
# window that fills a GtkListBox with the same rows next to a WebKitWebView.
# Usage: bash bench/ui/list-fill-bench.sh BUILD_DIR [ROWS]
# LUMO_BENCH_NO_CLICK=1 leaves the tabs alone; LUMO_BENCH_PROFILE=FILE runs lumo under perf.
build=$(cd "$1" && pwd) rows=${2:-10000}
source "$(dirname "$0")/bench-support.sh"
start_sandbox
start_xvfb
export WEBKIT_DISABLE_COMPOSITING_MODE=1
app_dir=$XDG_DATA_HOME/lum
mkdir -p "$app_dir/data" "$SANDBOX/icons"
"$build/bench/ui-bench-games" "$app_dir/data/data.db" "$SANDBOX/icons" "$rows" ||
  fail "no catalogue"
sync

# The peer: from exec until it prints that every row is in and painted.
start=$(now_ms)
"$build/bench/list-fill-peer" "$app_dir/data/data.db" >"$SANDBOX/peer.out" 2>/dev/null &
peer=$!
PIDS_TO_KILL+=($peer)
until grep -q filled "$SANDBOX/peer.out"; do sleep 0.01; done
peer_fill=$(($(now_ms) - start))
peer_rss=$(peak_rss_kib $peer)
kill $peer

# Lumo: polls the list's row count and clicks a tab every 200 ms while it fills.
start_hook
start=$(now_ms)
# LUMO_BENCH_PROFILE=FILE records a profile of lumo with perf (RSS is then perf's).
${LUMO_BENCH_PROFILE:+perf record -F 499 -g -o "$LUMO_BENCH_PROFILE" --} \
  "$build/bin/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
until [[ "$(ask window MainFrame)" == open* ]]; do sleep 0.01; done
answered=$(($(now_ms) - start))
ask lateness >/dev/null
worst_click=0 tab=optionMyGame
while :; do
  count=$(ask get MainFrame InstallList | sed -n 's/.*count=\([0-9]*\).*/\1/p')
  [ "$count" = "$rows" ] && break
  click_start=$(now_ms)
  [ -z "${LUMO_BENCH_NO_CLICK:-}" ] && ask click MainFrame $tab >/dev/null
  click=$(($(now_ms) - click_start))
  [ $click -gt $worst_click ] && worst_click=$click
  [ $tab = optionMyGame ] && tab=optionMain || tab=optionMyGame
  sleep 0.2
done
# A reply at idle priority comes after the frame that lays out and paints the full list.
ask window MainFrame >/dev/null
lumo_fill=$(($(now_ms) - start))
lateness=$(ask lateness)
lumo_rss=$(peak_rss_kib $lumo)

echo "rows: $rows"
echo "peer: filled in $peer_fill ms, peak RSS $((peer_rss / 1024)) MiB"
echo "lumo: window answered after $answered ms, filled in $lumo_fill ms," \
  "peak RSS $((lumo_rss / 1024)) MiB"
echo "lumo during the fill: timer probe $lateness, slowest tab click $worst_click ms"
ratio "fill time lumo/peer" $lumo_fill $peer_fill
ratio "peak RSS lumo/peer" $lumo_rss $peer_rss
