#!/usr/bin/env bash
# Sets up, then checks the tree stage by stage and stops at the first stage that fails:
#   format   every tracked C/C++ file is as clang-format lays it out
#   build    the checked build in build/ (or $LUMO_BUILD_DIR): thread rules checked at run
#            time, warnings are errors
#   tidy     clang-tidy's bugprone checks over the product code, on the checked build
#   tsan     a thread-sanitizer build of the unit tests in <build>-tsan, and those tests
#   asan     an address- and undefined-sanitizer build of the unit tests in <build>-asan
#   tests    every test of the checked build (unit, program and fuzz); arguments go to ctest
# By default all of them, in the order above. LUMO_STAGES="build tests" (or any list) runs the
# named stages only. UI tests start their own X servers.
# ctest's closing line is the last line printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMO_BUILD_DIR:-$root/build}
stages=${LUMO_STAGES:-format build tidy tsan asan tests}
jobs=$(nproc)
started=$SECONDS

wanted() { [[ " $stages " == *" $1 "* ]]; }
stage() { echo "=== test.sh: stage $1: $2 (at $((SECONDS - started))s)"; }

# configure DIR ARGS...: the build type is the one build.sh uses, so both share build/.
configure() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=${LUMO_BUILD_TYPE:-RelWithDebInfo} "$@" \
    ${LUMO_CMAKE_ARGS:-} >/dev/null
}

# sanitized NAME SANITIZERS: builds only what the unit tests need and runs them.
sanitized() {
  local dir=$build-$1
  configure "$dir" -DLUMO_SANITIZE="$2" -DLUMO_WERROR=ON
  cmake --build "$dir" -j "$jobs" --target lumo_unit_tests
  (cd "$dir" && ctest -j "$jobs" -L unit --output-on-failure)
}

bash "$root/scripts/setup.sh"

if wanted format; then
  stage format "clang-format over the tracked C/C++ files"
  bash "$root/scripts/check-format.sh"
fi
if wanted build || wanted tidy || wanted tests; then
  stage build "checked build in $build"
  configure "$build" -DLUMO_CHECKED=ON -DLUMO_WERROR=ON
  cmake --build "$build" -j "$jobs"
fi
if wanted tidy; then
  stage tidy "clang-tidy bugprone checks over the product code"
  bash "$root/scripts/check-tidy.sh" "$build"
fi
if wanted tsan; then
  stage tsan "thread-sanitizer unit tests in $build-tsan"
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
  sanitized tsan thread
fi
if wanted asan; then
  stage asan "address and undefined sanitizer unit tests in $build-asan"
  export UBSAN_OPTIONS="print_stacktrace=1 ${UBSAN_OPTIONS:-}"
  sanitized asan address,undefined
fi
if wanted tests; then
  stage tests "every test of the checked build"
  cd "$build"
  ctest -j "$jobs" --output-on-failure "$@"
fi
