#!/usr/bin/env bash
# The updater against a test server describing version 9.9.9, through real clicks in its
# window: an archive whose SHA-256 differs from the description is refused and the program
# folder stays byte-identical; the right archive ends
# the running Lumo, takes the program folder's place and starts the new Lumo from it; a release
# whose Lumo does not start gives the folder back to the old version, which runs again, and
# Lumo's "quit now" closes the updater.
program_dir=$(cd "$1" && pwd) tools=$2 screenshots=$3
source "$(dirname "$0")/road.sh"
road_setup
start_accessibility

# An installed program folder (the demo store left out) and releases made from it.
app=$SANDBOX/opt/lumo serve=$SANDBOX/serve
mkdir -p "$app" "$serve"
(cd "$program_dir" && cp -a $(ls | grep -vx -e store -e lumo-store) "$app/")
"$tools/lumo-serve-files" --dir "$serve" --ranges "$SANDBOX/requests" >"$SANDBOX/port" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "no file server"
port=$(head -n 1 "$SANDBOX/port")
release() {  # release NAME [COMMAND]: the installed folder as version 9.9.9, changed by COMMAND
  cp -a "$app" "$SANDBOX/$1"
  (cd "$SANDBOX/$1" && sed -i 's/^version=.*/version=9.9.9/' config.ini && eval "${2:-:}" &&
    zip -q -1 -r "$SANDBOX/$1.zip" .)
  mv "$SANDBOX/$1.zip" "$serve/"
}
describe() {  # describe NAME ARCHIVE [SHA256]
  local zip=$serve/$2.zip
  printf '{"version": "9.9.9", "notes": "更快的商店", "url": "http://127.0.0.1:%s/%s.zip", "size": %s, "sha256": "%s"}' \
    "$port" "$2" "$(stat -c %s "$zip")" "${3:-$(sha256sum "$zip" | cut -d' ' -f1)}" >"$SANDBOX/$1"
  mv "$SANDBOX/$1" "$serve/"
}
release next
release broken "printf '#!/bin/sh\nexit 3\n' >lumo"
describe good.json next
describe bad.json next "$(printf '%064d' 0)"
describe broken.json broken
printf '{"version": "1.0.0"}' >"$serve/current.json"
wait_until 30 curl -sf "http://127.0.0.1:$port/broken.json" || fail "descriptions not served"
use_description() {
  sed -i "s/127.0.0.1:18080/127.0.0.1:$port/; /^updateUrl=/d" "$app/cfglog.ini"
  sed -i "/^\[config\]/a updateUrl=http://127.0.0.1:$port/$1" "$app/cfglog.ini"
}
use_description bad.json
# Every file's place, mode, link and bytes; cfglog.ini is the test's own to change.
snapshot() {
  (cd "$app" && find . -mindepth 1 ! -name cfglog.ini -printf '%p %i %m %l\n' | sort &&
    find . -type f ! -name cfglog.ini -exec sha256sum {} + | sort) | sha256sum
}
before=$(snapshot)

# Lumo's start runs the updater quietly; it finds 9.9.9 and offers it.
"$app/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
wait_for_hook
press_control "立即更新"
wait_until 60 shows_control "更新包校验失败" || fail "the wrong SHA-256 was not reported"
shot renew-wrong-sha256
grep -q 'renew: archive refused' "$SANDBOX/lumo.out" || fail "the updater did not say why"
expect "program folder" "$(snapshot)" "$before"
kill -0 $lumo || fail "Lumo ended although nothing was installed"
press_control "关闭"
wait_until 30 sh -c "! pgrep -f '^$app/renew.exe'" || fail "the updater did not close"

# A release whose Lumo ends at once: the old folder comes back and the old Lumo runs again.
use_description broken.json
"$app/renew.exe" >"$SANDBOX/renew.out" 2>&1 &
renew=$!
PIDS_TO_KILL+=($renew)
wait_until 60 shows_control "发现新版本 9.9.9" || fail "9.9.9 was not offered"
use_description current.json  # for the quiet check of the Lumo that comes back
press_control "立即更新"
wait_until 120 shows_control "更新失败，已恢复原版本" || fail "the failed start was not reported"
expect "program folder after the failed start" "$(snapshot)" "$before"
wait_until 60 pgrep -f "^$app/lumo\$" || fail "the old Lumo was not started again"
lumo=$(pgrep -f "^$app/lumo\$")
PIDS_TO_KILL+=($lumo)
wait_for_hook
wait_until 60 grep -q '^/current.json ' "$SANDBOX/requests" || fail "no quiet check at the restart"
"$tools/lumo-post-window" MainFrame "Lumo更新程序" 2024 0 0 || fail "no updater window"
wait_until 30 sh -c "! kill -0 $renew" || fail "quit-now did not close the updater"

# From the settings menu, its gear found by name: the right archive replaces the folder and
# Lumo restarts.
use_description good.json
folder=$(stat -c %i "$app")
click_control "设置"
click_control "检查更新"
wait_until 30 pgrep -f "^$app/renew.exe\$" || fail "检查更新 started no updater"
renew=$(pgrep -f "^$app/renew.exe\$")
wait_until 60 shows_control "发现新版本 9.9.9" || fail "9.9.9 was not offered"
press_control "立即更新"
wait_until 120 sh -c "! kill -0 $lumo" || fail "Lumo did not quit for the update"
wait_until 120 sh -c "! kill -0 $renew" || fail "the updater did not finish"
new=$(pgrep -f "^$app/lumo\$") || fail "the new Lumo is not running: $(cat "$SANDBOX/renew.out")"
PIDS_TO_KILL+=($new)
expect "new Lumo's program" "$(readlink "/proc/$new/exe")" "$app/lumo"
expect "installed version" "$(grep '^version=' "$app/config.ini")" "version=9.9.9"
[ "$(stat -c %i "$app")" != "$folder" ] || fail "the program folder was not replaced"
expect "beside the program folder" "$(ls -A "$SANDBOX/opt")" "lumo"
wait_for_hook
expect "new Lumo's window" "$(ask window MainFrame)" "open *"
echo "renew road test passed"
