#!/usr/bin/env bash
# The whole program as a user starts it: one window, one instance, settings, log, statistics,
# and an orderly end when the window is closed.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "$0")/../support/xvfb.sh"
start_sandbox
start_xvfb
mkdir -p "$screenshots"
app_dir=$XDG_DATA_HOME/lum

"$program_dir/lumo" >"$SANDBOX/first.out" 2>&1 &
first=$!
PIDS_TO_KILL+=($first)

window=$(lumo_window 60 --onlyvisible) || fail "no window of class MainFrame titled Lumo"
main_windows() { x_search --onlyvisible --name '^Lumo$' | wc -l; }
[ "$(main_windows)" -eq 1 ] || fail "more than one main window"
xprop -id "$window" WM_CLASS | grep -q '"MainFrame", "MainFrame"' || fail "class"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 1260 ] && [ "$HEIGHT" = 720 ] || fail "size ${WIDTH}x$HEIGHT"
[ "$X" = 170 ] && [ "$Y" = 90 ] || fail "not centred: $X,$Y"
import -window root "$screenshots/main-window-plain.png" 2>/dev/null
# A fresh home has no games: the My games tab shows its empty pages.
xdotool mousemove $((X + 300)) $((Y + 28)) click 1 mousemove 5 5
sleep 1
import -window root "$screenshots/my-games-empty.png" 2>/dev/null

# setting.ini: the four keys, written on first start.
for key in dataDir downloadDir minOnClose quitRemember; do
  grep -q "^$key=" "$app_dir/setting.ini" || fail "setting.ini lacks $key"
done
grep -q "^downloadDir=$app_dir/download" "$app_dir/setting.ini" || fail "download folder"

# The log: a dated file, lines in the fixed format ending in CR LF.
log=$app_dir/log/lum-$(date +%Y-%m-%d).log
wait_until 30 grep -q 'starting' "$log" || fail "no start line in $log"
grep -qvP '^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}--[1-9]\d*\]-->.*\r$' "$log" &&
  fail "a log line is malformed: $(grep -vP '^\[\d{4}-' "$log" | head -n 1)"

# The catalogue is opened at start-up.
wait_until 30 sh -c "sqlite3 '$app_dir/data/data.db' .schema | grep -q 'CREATE TABLE AppList'" ||
  fail "data.db has no AppList table"

# Statistics: event 100 at start.
grep -qP '\tSendLog\t100\t\t0$' "$app_dir/statsink.log" || fail "no start event"

# A second start exits with -1 (255) and brings the first window to the front.
"$program_dir/lumo" >"$SANDBOX/second.out" 2>&1
status=$?
[ $status -eq 255 ] || fail "second start exited with $status"
wait_until 30 grep -q 'main window brought to front' "$log" || fail "first window not raised"
[ "$(main_windows)" -eq 1 ] || fail "second window appeared"

# Another process of the user posts crafted datagrams: the ids whose parameters are pointers
# inside Lumo, with numbers that look like pointers. Lumo drops them, says so once, keeps going.
[ "$(stat -c %a "$XDG_RUNTIME_DIR"/lumo-window-*)" = 600 ] || fail "window socket mode"
python3 - "$XDG_RUNTIME_DIR"/lumo-window-* <<'EOF'
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
for msg in (1025, 1031, 1036, 1037, 1039, 1040, 1041, 1044, 1045):
    for wire in (f'LUMOWIN1\nMainFrame\nLumo\n{msg} 4096 140737488355328\n',
                 f'LUMOWIN2\nMainFrame\nLumo\n{msg}\n'):
        s.sendto(wire.encode(), sys.argv[1])
EOF
wait_until 30 grep -q 'window channel dropped' "$log" || fail "crafted datagrams not reported"
kill -0 $first || fail "crafted datagrams ended Lumo"
[ "$(grep -c 'window channel dropped' "$log")" = 1 ] || fail "a log line per dropped datagram"

# Closing the window asks first; closing the question abandons the close.
"$tools/lumo-x-close" "$window" || fail "could not ask the window to close"
wait_until 30 x_search --onlyvisible --classname '^QuitConfirmWnd$' || fail "no question"
"$tools/lumo-x-close" "$(x_search --onlyvisible --classname '^QuitConfirmWnd$')"
wait_until 30 bash -c "! x_search --onlyvisible --classname '^QuitConfirmWnd$'" ||
  fail "the question stayed"
x_search --onlyvisible --classname '^MainFrame$' >/dev/null || fail "the window went"
# The player is looked for once the store page is in, or the browser's wait for it is over.
wait_until 30 grep -q 'player setup attempt 1 .*downloading' "$log" || fail "no player setup"
# A terminate signal ends the process with status 0 and writes the last lines.
kill -TERM "$first"
wait_until 60 sh -c "! kill -0 $first" || fail "lumo did not end after close"
wait "$first"
status=$?
[ $status -eq 0 ] || fail "lumo exited with $status"
tail -n 1 "$log" | grep -q 'Lumo shut down.' || fail "last log line: $(tail -n 1 "$log")"
# The player setup's download loaded the engine; it ends in the shutdown order, with the
# downloads, before the bridge and the window. The catalogue closes after the window, having
# written what the window posted.
order=$(grep -oE 'message loop ended|download engine shut down|catalogue closed|Lumo shut down' "$log" |
  sed -n '/message loop ended/,$p' | uniq | tr '\n' ,)
[ "$order" = "message loop ended,download engine shut down,catalogue closed,Lumo shut down," ] ||
  fail "shutdown order: $order"
# Each close says who asked for it.
grep -q 'close asked by the window manager: stay.' "$log" || fail "the window manager's close not logged"
grep -q 'close asked by signal SIGTERM: quit, without the question.' "$log" || fail "SIGTERM not logged"
tail -n 1 "$app_dir/statsink.log" | grep -qP '\tAppLogExit$' || fail "no exit call"

# A game list that cannot be read is kept aside byte for byte, a new one starts and works,
# and the window says so.
source "$(dirname "$0")/hook.sh"
head -c 20000 /dev/urandom >"$SANDBOX/garbage.db"
cp "$SANDBOX/garbage.db" "$app_dir/data/data.db"
"$program_dir/lumo" >"$SANDBOX/damaged.out" 2>&1 &
damaged=$!
PIDS_TO_KILL+=($damaged)
wait_for_hook
for _ in $(seq 150); do
  notice=$(ask get MainFrame catalogueNotice)
  [[ $notice == visible=1* ]] && break
  sleep 0.2
done
expect "catalogue notice" "$notice" "visible=1 *text=游戏列表文件已损坏*data.db.damaged-2*"
shot catalogue-notice
kept=("$app_dir"/data/data.db.damaged-*[0-9])
[ ${#kept[@]} -eq 1 ] && cmp -s "$SANDBOX/garbage.db" "${kept[0]}" || fail "not kept: ${kept[*]}"
ask download '{"packageName":"com.lumo.fresh","appName":"Fresh","apkUrl":"http://127.0.0.1:9/a.apk"}' >/dev/null
wait_until 30 sh -c "sqlite3 '$app_dir/data/data.db' 'select packageName from AppList' | grep -q fresh" ||
  fail "the new catalogue does not take a game"
ask click MainFrame catalogueNotice >/dev/null
expect "notice closed" "$(ask get MainFrame catalogueNotice)" "visible=0 *"
kill -TERM "$damaged"
wait_until 60 sh -c "! kill -0 $damaged" || fail "lumo did not end"

# Without its resource archive: one clear line naming it and a failure status.
mkdir "$SANDBOX/bare"
cp "$program_dir/lumo" "$SANDBOX/bare/"
"$SANDBOX/bare/lumo" >"$SANDBOX/nores.out" 2>&1
status=$?
[ $status -ne 0 ] || fail "started without res.zip"
grep -q "cannot open resource archive $SANDBOX/bare/res.zip" "$SANDBOX/nores.out" ||
  fail "no resource message: $(cat "$SANDBOX/nores.out")"
# Shutting down a start that never downloaded does not load the engine to end it.
awk '/ starting\. data:/ { run = "" } { run = run $0 "\n" } END { printf "%s", run }' "$log" |
  grep -qE 'xldl|download engine' && fail "the engine was loaded to be shut down"

# Without a display: one clear line and a failure status.
env -u DISPLAY -u WAYLAND_DISPLAY "$program_dir/lumo" >"$SANDBOX/nodisplay.out" 2>&1
status=$?
[ $status -ne 0 ] || fail "started without a display"
grep -q 'cannot open display' "$SANDBOX/nodisplay.out" || fail "no display message"
echo "program test passed"
