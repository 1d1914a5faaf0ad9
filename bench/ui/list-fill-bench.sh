#!/usr/bin/env bash
# Starts the real lumo with N games (default 10,000) in data.db, each with its own icon, under
# a private Xvfb, and measures from exec: until the window answers and until the games list
# holds every game; the worst lateness of a 10 ms timer inside lumo until then (the test
# hook's probe: how long a click would wait); peak RSS (VmHWM); then a drag of the list's
# scroll bar from top to bottom with the mouse, its worst lateness, and whether the oldest
# game is then on screen. The peer is a bare GTK window that fills a GtkListBox with the same
# rows next to a WebKitWebView, with a probe timer of its own. Lumo and the peer run
# interleaved RUNS times (default 3); each run is printed, then the minimum, the median and
# the ratio lumo / peer of the medians.
# Usage: bash bench/ui/list-fill-bench.sh BUILD_DIR [ROWS] [RUNS]
# The 50,000-game point is one run:
#   bash bench/ui/list-fill-bench.sh BUILD_DIR 50000 1
# The peer is stopped when it has not filled its list within LUMO_BENCH_PEER_LIMIT_S (100 s;
# at 50,000 rows it needs 3 to 4 minutes): its fill time is then taken as the limit, so the
# ratio printed is an upper bound, and its stall is not known.
# LUMO_BENCH_PROFILE=FILE runs lumo under perf.
build=$(cd "$1" && pwd) rows=${2:-10000} runs=${3:-3}
peer_limit_ms=$((${LUMO_BENCH_PEER_LIMIT_S:-100} * 1000)) peer_stopped=
source "$(dirname "$0")/bench-support.sh"
start_desktop
export WEBKIT_DISABLE_COMPOSITING_MODE=1
# Classic scroll bars, which a mouse can drag.
export GTK_OVERLAY_SCROLLING=0
app_dir=$XDG_DATA_HOME/lum
mkdir -p "$app_dir/data" "$SANDBOX/icons"
"$build/bench/ui-bench-games" "$SANDBOX/games.db" "$SANDBOX/icons" "$rows" || fail "no catalogue"
sync

peer_run() {
  local start out=$SANDBOX/peer.out
  # The last run's output would be read before the shell that starts the peer empties it.
  rm -f "$out"
  start=$(now_ms)
  "$build/bench/list-fill-peer" "$SANDBOX/games.db" >"$out" 2>/dev/null &
  local peer=$!
  until file_has "$out" answered; do pause 0.005; done
  peer_answered=$(($(now_ms) - start))
  # The clock is read in this shell: a fork per poll would take the processor from the peer.
  until file_has "$out" filled || ((${EPOCHREALTIME//[!0-9]/} / 1000 - start > peer_limit_ms)); do
    pause 0.01
  done
  peer_fill=$(($(now_ms) - start))
  peer_stall=$(sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p' "$out")
  if [ -z "$peer_stall" ]; then
    peer_fill=$peer_limit_ms peer_stopped=yes
    echo "the peer had not filled its list after $((peer_limit_ms / 1000)) s and was stopped"
  fi
  peer_rss=$(peak_rss_kib $peer)
  kill $peer
  wait $peer 2>/dev/null
}

lumo_run() {
  local start
  # Each run starts from the same catalogue file.
  cp "$SANDBOX/games.db" "$app_dir/data/data.db"
  rm -f "$SANDBOX/hook" "$SANDBOX/hook.out"
  start_hook
  start=$(now_ms)
  ${LUMO_BENCH_PROFILE:+perf record -F 499 -g -o "$LUMO_BENCH_PROFILE" --} \
    "$build/bin/lumo" >"$SANDBOX/lumo.out" 2>&1 &
  local lumo=$!
  until [[ "$(ask window MainFrame)" == open* ]]; do pause 0.005; done
  lumo_answered=$(($(now_ms) - start))
  ask click MainFrame optionMyGame >/dev/null
  until [[ "$(ask get MainFrame InstallList)" == *count=$rows* ]]; do pause 0.01; done
  # A reply at idle priority comes after the frame that lays out and paints the list.
  ask window MainFrame >/dev/null
  lumo_fill=$(($(now_ms) - start))
  lumo_stall=$(ask lateness | sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p')
  lumo_rss=$(peak_rss_kib $lumo)
  # The scroll bar is the list's right edge; its slider starts at the top.
  local x y w h i
  read -r x y w h <<<"$(ask where MainFrame listScroll)"
  xdotool mousemove $((x + w - 4)) $((y + 6)) mousedown 1
  for i in $(seq 1 50); do
    xdotool mousemove $((x + w - 4)) $((y + 6 + (h - 8) * i / 50))
    sleep 0.02
  done
  xdotool mouseup 1
  ask window MainFrame >/dev/null
  scroll_stall=$(ask lateness | sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p')
  kill -0 $lumo || fail "lumo ended: $(tail -5 "$SANDBOX/lumo.out")"
  [[ "$(ask game com.bench.game0)" == *label=?* ]] && bottom_shown=yes || bottom_shown=no
  kill $lumo 2>/dev/null
  wait $lumo 2>/dev/null
}

declare -a pa pf ps pr la lf ls lr ss
for run in $(seq 1 "$runs"); do
  peer_run
  lumo_run
  pa+=($peer_answered) pf+=($peer_fill) ps+=($peer_stall) pr+=($((peer_rss / 1024)))
  la+=($lumo_answered) lf+=($lumo_fill) ls+=($lumo_stall) lr+=($((lumo_rss / 1024)))
  ss+=($scroll_stall)
  echo "run $run: peer answered $peer_answered ms, filled $peer_fill ms," \
    "stall ${peer_stall:+$peer_stall ms}${peer_stall:-not known}," \
    "RSS $((peer_rss / 1024)) MiB | lumo answered $lumo_answered ms, filled $lumo_fill ms," \
    "stall $lumo_stall ms, RSS $((lumo_rss / 1024)) MiB, scroll stall $scroll_stall ms," \
    "oldest game shown: $bottom_shown"
done

echo "rows: $rows, runs: $runs"
stats "peer answered ms" "${pa[@]}"
stats "lumo answered ms" "${la[@]}"
stats "peer filled ms" "${pf[@]}"
stats "lumo filled ms" "${lf[@]}"
((${#ps[@]})) && stats "peer worst stall ms" "${ps[@]}"
stats "lumo worst stall ms" "${ls[@]}"
stats "lumo scroll worst stall ms" "${ss[@]}"
stats "peer peak RSS MiB${peer_stopped:+ (until stopped)}" "${pr[@]}"
stats "lumo peak RSS MiB" "${lr[@]}"
ratio "answered lumo/peer" "$(median "${la[@]}")" "$(median "${pa[@]}")"
ratio "filled lumo/peer${peer_stopped:+ (at most: the peer was stopped)}" \
  "$(median "${lf[@]}")" "$(median "${pf[@]}")"
((${#ps[@]})) && ratio "worst stall lumo/peer" "$(median "${ls[@]}")" "$(median "${ps[@]}")"
ratio "peak RSS lumo/peer${peer_stopped:+ (the peer until it was stopped)}" "$(median "${lr[@]}")" \
  "$(median "${pr[@]}")"
