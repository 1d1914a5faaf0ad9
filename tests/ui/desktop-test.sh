#!/usr/bin/env bash
# Lumo as a desktop program: installed for the user in a fresh home, it opens APK files named
# on its command line (as the file manager's "Open with" passes them) at its first start and
# through a later start, takes APK files dropped on its window from another program, and
# tells the desktop's notification service how installs ended while its window is not looked
# at; a click on a notification shows the window with that game.
program_dir=$1 tools=$2 screenshots=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/road.sh"
road_setup
peer() { /usr/bin/python3 "$here/desktop-peer.py" "$@"; }
entry=$HOME/.local/share/applications/lumo.desktop lumo=$HOME/.local/bin/lumo notes=$SANDBOX/notes

LUMO_BUILD_DIR=$(dirname "$program_dir") bash "$here/../../scripts/install.sh" --user \
  >"$SANDBOX/install.out" 2>&1 || fail "user install: $(tail -n 5 "$SANDBOX/install.out")"
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
[ "$(xdg-mime query default application/vnd.android.package-archive)" = lumo.desktop ] ||
  fail "APK files do not open with Lumo"
gio mime application/vnd.android.package-archive | grep -A1 '^Registered' | grep -q lumo.desktop ||
  fail "Lumo is not among the applications for APK files"
[ -s "$HOME/.local/share/icons/hicolor/scalable/apps/lumo.svg" ] || fail "no icon in hicolor"

# A private session bus whose notification service is the test's own.
dbus-daemon --session --nofork --print-address=1 >"$SANDBOX/bus" 2>/dev/null &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/bus" || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$SANDBOX/bus")
touch "$notes"
peer notifications "$notes" &
PIDS_TO_KILL+=($!)
wait_until 30 gdbus call --session --dest org.freedesktop.Notifications \
  --object-path /org/freedesktop/Notifications \
  --method org.freedesktop.Notifications.GetCapabilities || fail "no notification service"

"$HOME/.local/lib/lumo/AKTInstaller.exe" /S /NCRC "/D=$LUMO_PROGRAMS_DIR/LUMPlayer" ||
  fail "player setup failed"
"$tools/lumo-make-apk" "$SANDBOX/road.apk" com.lumo.road "Road Trip" || fail "no road APK"
"$tools/lumo-make-apk" "$SANDBOX/later.apk" com.lumo.later "Later" || fail "no later APK"
"$tools/lumo-make-apk" "$SANDBOX/mips.apk" com.lumo.mips "Mips Only" abi=mips || fail "no mips APK"
mkdir "$SANDBOX/folder.apk"

# The first start opens the file it names, relative to the caller's folder.
(cd "$SANDBOX" && exec "$lumo" road.apk >>"$SANDBOX/lumo.out" 2>&1) &
PIDS_TO_KILL+=($!)
wait_for_hook
wait_game 120 com.lumo.road "status=6 *"
window=$(lumo_window 30 --onlyvisible) || fail "no main window"
xprop -id "$window" WM_CLASS | grep -q "\"$(sed -n 's/^StartupWMClass=//p' "$entry")\"$" ||
  fail "StartupWMClass is not the window's class"

# A later start hands its files over and exits with -1; only existing APK files are added.
# The window has the focus meanwhile: no notification.
xdotool windowfocus --sync "$window"
before=$(wc -l <"$notes")
"$lumo" "$SANDBOX/mips.apk" "$SANDBOX/missing.apk" "$SANDBOX/folder.apk" /etc/hostname
status=$?
[ $status -eq 255 ] || fail "a second start exited with $status"
wait_game 120 com.lumo.mips "status=7 *"
# The VM cannot run it, as Lumo knew from the player: it never went to the player.
grep -q mips.apk "$player_data/runbox.log" && fail "the player was asked to install mips"
expect "games" "$(ask get MainFrame InstallList)" "*count=2*"
lumo_log | grep -q "$SANDBOX/folder.apk is not an APK file" || fail "a folder was not refused"

# Two files dropped from another program's window, which has the focus: each install ends
# with one notification naming its game.
peer drag-source "$SANDBOX/later.apk" "$SANDBOX/mips.apk" &
PIDS_TO_KILL+=($!)
wait_until 30 x_search --name '^drag-source$' || fail "no drag source"
xdotool windowfocus --sync "$(x_search --name '^drag-source$' | head -n 1)"
xdotool mousemove 1515 75 mousedown 1
for x in 1400 1200 1000 800 600 400; do xdotool mousemove $x 500 && sleep 0.2; done
xdotool mouseup 1
# The mips game fails before it is queued, so the two ends may come in either order.
wait_until 120 awk -F'\t' '$3 == "Later" {l = 1} $3 == "Mips Only" {m = 1} END {exit !(l && m)}' \
  "$notes" || fail "dropped games: $(cat "$notes")"
[ "$(wc -l <"$notes")" -eq $((before + 2)) ] || fail "notifications: $(cat "$notes")"
grep -qP "^\d+\t$XDG_DATA_HOME/lum/download/icons/com.lumo.later.png\tLater\t安装完成\t" "$notes" ||
  fail "no notification of the install: $(cat "$notes")"
clicked=$(grep -P '\tMips Only\t安装失败\t' "$notes" | cut -f1)
[ -n "$clicked" ] || fail "no notification of the failed install: $(cat "$notes")"
expect "the newest dropped game" "$(ask get MainFrame DetailName)" "*text=Later"
shot desktop-dropped

# The window is hidden; a click on a notification shows it with that game selected.
xdotool windowunmap --sync "$window"
gdbus call --session --dest org.freedesktop.Notifications --object-path \
  /org/freedesktop/Notifications --method org.lumo.TestNotifications.Click "$clicked" >/dev/null
wait_until 30 sh -c "xwininfo -id $window | grep -q IsViewable" || fail "the window stays hidden"
expect "the clicked game" "$(ask get MainFrame DetailName)" "*text=Mips Only"

# Installing it again cannot help: the detail button offers the delete, which keeps the
# user's own file.
expect "no retry" "$(ask progress)" "state=7 * hand=1 text=删除游戏"
expect "delete" "$(ask progress click)" "clicked *"
wait_game 30 com.lumo.mips "none"
[ -f "$SANDBOX/mips.apk" ] || fail "the user's own APK was deleted"
expect "games after the delete" "$(ask get MainFrame InstallList)" "*count=2*"
echo "desktop test passed"
