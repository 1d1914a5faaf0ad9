#!/usr/bin/env bash
# Runs clang-tidy's bugprone checks over the product code (not tests/ or bench/) with the
# compile commands of the build in $1, and fails on any finding. The checks that .clang-tidy
# turns off stay off; its other checks are for editors and are not enforced here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: check-tidy.sh BUILD_DIR}" && pwd)
off=$(grep -oE -- '-bugprone-[a-z0-9-]+' "$root/.clang-tidy" | paste -sd, -)
checks="-*,bugprone-*${off:+,$off}"
folders="app apk catalogue components download game platform program skins stat store toolkit ui vm"
product="^$root/(${folders// /|})/"

# A new top-level folder with C or C++ files is either product code or named here as not.
for dir in $(git -C "$root" ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | cut -d/ -f1 -s | sort -u); do
  [[ " $folders tests bench " == *" $dir "* ]] ||
    { echo "check-tidy: folder $dir/ is neither product code nor tests/ or bench/" >&2; exit 2; }
done

files=$(python3 -c '
import json, re, sys
entries = json.load(open(sys.argv[1] + "/compile_commands.json"))
print("\n".join(sorted({e["file"] for e in entries if re.match(sys.argv[2], e["file"])})))
' "$build" "$product")
[ -n "$files" ] || { echo "check-tidy: no product files in $build/compile_commands.json" >&2; exit 2; }

# Each file's findings are printed in one piece, so parallel runs do not interleave. The build
# may use -Werror, which would turn clang's own warnings (not gcc's) into errors here.
export checks product build
tidy_one() {
  out=$(clang-tidy -p "$build" --quiet --checks="$checks" --header-filter="$product" \
    --warnings-as-errors='*' --extra-arg=-Wno-error "$1" 2>&1) && return 0
  printf '%s\n' "$out" | grep -v '^[0-9]* warnings\? generated\.$' >&2
  return 1
}
export -f tidy_one
count=$(printf '%s\n' "$files" | wc -l)
echo "check-tidy: $count files, checks $checks"
printf '%s\n' "$files" | xargs -P "$(nproc)" -I{} bash -c 'tidy_one "$1"' _ {}
