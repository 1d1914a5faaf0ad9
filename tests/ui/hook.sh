# Sourced by tests that drive the real program through its test hook (LUMO_TEST_HOOK):
#   ask COMMAND...     runs a hook command and prints its reply
#   send COMMAND...    starts a command that may not return at once (a modal dialog)
#   click_on CLASS CONTROL  a real mouse click on the middle of a control of a shown window
#   expect WHAT ACTUAL PATTERN, shot NAME, wait_for_hook
# Needs $SANDBOX and $screenshots; makes the hook's FIFO and exports its path.
hook=$SANDBOX/hook
mkfifo "$hook"
export LUMO_TEST_HOOK=$hook

# Command ids are unique without a shared counter: ask often runs in a subshell.
next_id() { date +%s%N; }
ask() {
  local seq
  seq=$(next_id)
  echo "$seq $*" >"$hook"
  wait_until 30 sh -c "grep '^$seq ' '$hook.out' | grep -qv '^$seq started\$'" || fail "no reply to: $*"
  grep "^$seq " "$hook.out" | grep -v "^$seq started\$" | head -n 1 | cut -d' ' -f2-
}
send() {
  local seq
  seq=$(next_id)
  echo "$seq $*" >"$hook"
  wait_until 30 grep -q "^$seq started" "$hook.out" || fail "not started: $*"
  last_sent=$seq
}
click_on() {
  local where x y w h
  where=$(ask get "$1" "$2" | sed -n 's/.* where=\([0-9,-]*\) .*/\1/p')
  IFS=, read -r x y w h <<<"$where"
  eval "$(xdotool getwindowgeometry --shell "$(x_search --onlyvisible --classname "^$1\$" |
    head -n 1)" | sed 's/^/at_/')"
  xdotool mousemove $((at_X + x + w / 2)) $((at_Y + y + h / 2)) click 1
}
expect() {
  [[ "$2" == $3 ]] || fail "$1: got '$2', expected '$3'"
}
shot() {
  xdotool mousemove 5 5
  sleep 0.5
  import -window root "$screenshots/$1.png" 2>/dev/null
}
# Until the program started last reads its hook.
wait_for_hook() {
  wait_until 60 sh -c "grep -c 'test hook reading' $XDG_DATA_HOME/lum/log/lum-*.log |
    awk -F: '{n += \$NF} END {exit !(n >= ${hook_starts:-0} + 1)}'" || fail "no test hook"
  hook_starts=$((${hook_starts:-0} + 1))
}
