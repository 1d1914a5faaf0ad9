#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what clang-format makes of it with the
# repository's .clang-format. Fix with `clang-format -i FILE`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run --Werror
