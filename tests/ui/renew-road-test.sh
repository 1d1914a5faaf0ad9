#!/usr/bin/env bash
# The updater against a test server describing version 9.9.9, through real clicks in its
# window: an archive whose SHA-256 differs from the description is refused and the program
# folder stays byte-identical; Lumo's "quit now" closes the updater; the right archive ends
# the running Lumo, takes the program folder's place and starts the new Lumo from it.
program_dir=$(cd "$1" && pwd) tools=$2 screenshots=$3
source "$(dirname "$0")/road.sh"
road_setup
start_accessibility

# An installed program folder (the demo store left out) and the next version made from it.
app=$SANDBOX/opt/lumo serve=$SANDBOX/serve
mkdir -p "$app" "$serve" "$SANDBOX/next"
(cd "$program_dir" && cp -a $(ls | grep -vx -e store -e lumo-store) "$app/")
cp -a "$app/." "$SANDBOX/next/"
sed -i 's/^version=.*/version=9.9.9/' "$SANDBOX/next/config.ini"
(cd "$SANDBOX/next" && zip -q -1 -r "$SANDBOX/lumo-9.9.9.zip" .)
"$tools/lumo-serve-files" --dir "$serve" >"$SANDBOX/port" &
PIDS_TO_KILL+=($!)
wait_until 30 test -s "$SANDBOX/port" || fail "no file server"
port=$(head -n 1 "$SANDBOX/port")
mv "$SANDBOX/lumo-9.9.9.zip" "$serve/"
describe() {  # describe NAME SHA256
  printf '{"version": "9.9.9", "notes": "更快的商店", "url": "http://127.0.0.1:%s/lumo-9.9.9.zip", "size": %s, "sha256": "%s"}' \
    "$port" "$(stat -c %s "$serve/lumo-9.9.9.zip")" "$2" >"$SANDBOX/$1"
  mv "$SANDBOX/$1" "$serve/"
}
describe good.json "$(sha256sum "$serve/lumo-9.9.9.zip" | cut -d' ' -f1)"
describe bad.json "$(printf '%064d' 0)"
wait_until 30 curl -sf "http://127.0.0.1:$port/bad.json" || fail "descriptions not served"
use_description() {
  sed -i "s/127.0.0.1:18080/127.0.0.1:$port/; /^updateUrl=/d" "$app/cfglog.ini"
  sed -i "/^\[config\]/a updateUrl=http://127.0.0.1:$port/$1" "$app/cfglog.ini"
}
use_description bad.json
snapshot() { tar -C "$app" -cf - . | sha256sum; }
before=$(snapshot)

# Lumo's start runs the updater quietly; it finds 9.9.9 and offers it.
"$app/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
wait_for_hook
click_control "立即更新"
wait_until 60 shows_control "更新包校验失败" || fail "the wrong SHA-256 was not reported"
shot renew-wrong-sha256
grep -q 'renew: archive refused' "$SANDBOX/lumo.out" || fail "the updater did not say why"
expect "program folder" "$(snapshot)" "$before"
kill -0 $lumo || fail "Lumo ended although nothing was installed"
"$tools/lumo-post-window" MainFrame "Lumo更新程序" 2024 0 0 || fail "no updater window"
wait_until 30 sh -c "! pgrep -f '^$app/renew.exe'" || fail "quit-now did not close the updater"

# From the settings menu's start: the right archive replaces the folder and Lumo restarts.
use_description good.json
folder=$(stat -c %i "$app")
"$app/renew.exe" >"$SANDBOX/renew.out" 2>&1 &
renew=$!
PIDS_TO_KILL+=($renew)
wait_until 60 shows_control "发现新版本 9.9.9" || fail "9.9.9 was not offered"
click_control "立即更新"
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
