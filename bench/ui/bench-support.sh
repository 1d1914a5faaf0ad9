# Sourced by the UI benchmarks: the tests' private X server and home folder, and a test hook
# client that polls finely enough to time replies. The client and its clock start no child
# process: on 2 cores, a poll that forks would take processor time from the program it times.
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/xvfb.sh"

# start_desktop: the sandbox, an X server and a session bus, as a desktop session has; the tray
# icon and the notifications use the bus.
start_desktop() {
  start_sandbox
  start_xvfb
  start_session_bus
}

now_ms() { echo $((${EPOCHREALTIME//[!0-9]/} / 1000)); }
peak_rss_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
ratio() { awk -v name="$1" -v a="$2" -v b="$3" 'BEGIN {printf "%s: %.2f\n", name, a / b}'; }
# pause SECONDS: a read that times out on a pipe nobody writes, which is a sleep in the shell.
exec {pause_fd}<> <(:)
pause() { read -r -t "$1" -u "$pause_fd" _ || true; }
# file_has FILE TEXT: whether FILE holds TEXT, read by the shell itself; no file holds nothing.
file_has() {
  local text=
  [ -e "$1" ] || return 1
  IFS= read -r -d '' text <"$1"
  [[ $text == *"$2"* ]]
}

start_hook() {
  hook=$SANDBOX/hook
  mkfifo "$hook"
  export LUMO_TEST_HOOK=$hook
  : >"$hook.out"
  [ -z "${reply_fd:-}" ] || exec {reply_fd}<&-
  exec {reply_fd}<"$hook.out"
}
# ask_into COMMAND...: sets `asked` to the reply of the running lumo, in this shell, so that a
# loop timing a change forks nothing. The replies file is read on from where the last ask left
# it; a line still being written is kept until its end arrives.
ask_poll=0.005
ask_into() {
  local seq=${EPOCHREALTIME//[!0-9]/} line partial=
  echo "$seq $*" >"$hook"
  while :; do
    if IFS= read -r line <&"$reply_fd"; then
      line=$partial$line partial=
      [[ $line == "$seq "* && $line != "$seq started" ]] && break
    else
      partial+=$line
      pause "$ask_poll"
    fi
  done
  asked=${line#* }
}
# ask COMMAND...: prints the reply of the running lumo.
ask() {
  ask_into "$@"
  echo "$asked"
}
# median VALUES...: the middle value, or the mean of the middle two.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# stats NAME VALUES...: minimum and median.
stats() {
  local name=$1
  shift
  echo "$name: min $(printf '%s\n' "$@" | sort -g | head -1) median $(median "$@")"
}
