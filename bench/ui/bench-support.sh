# Sourced by the UI benchmarks: the tests' private X server and home folder, and a test hook
# client that polls finely enough to time replies.
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/xvfb.sh"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
peak_rss_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
ratio() { awk -v name="$1" -v a="$2" -v b="$3" 'BEGIN {printf "%s: %.2f\n", name, a / b}'; }

start_hook() {
  hook=$SANDBOX/hook
  mkfifo "$hook"
  export LUMO_TEST_HOOK=$hook
}
# ask COMMAND...: the reply of the running lumo.
ask() {
  local seq reply
  seq=$(date +%s%N)
  echo "$seq $*" >"$hook"
  until reply=$(grep "^$seq " "$hook.out" 2>/dev/null | grep -v "^$seq started$") &&
    [ -n "$reply" ]; do
    sleep 0.005
  done
  echo "${reply#* }"
}
# median VALUES...: the middle value, or the mean of the middle two.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# stats NAME VALUES...: minimum and median.
stats() {
  local name=$1
  shift
  echo "$name: min $(printf '%s\n' "$@" | sort -g | head -1) median $(median "$@")"
}
