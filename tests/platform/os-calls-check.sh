#!/usr/bin/env bash
# Operating-system calls go through platform/, so that another backend only adds files there.
# Fails when a product file includes a POSIX system header or calls GLib's process and file
# functions. components/ are separate programs with their own backends; store/ is the demo
# store's server program; tests/ and bench/ are not product code.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2
headers='^\s*#\s*include\s*<(unistd\.h|fcntl\.h|dirent\.h|sys/[^>]*)>'
calls='\bg_(spawn_\w+|file_test|mkdir\w*|mkdtemp\w*|remove|rename|unlink|rmdir|dir_\w+|stat|lstat|access|chmod|open|creat|file_get_contents|file_set_contents\w*)\s*\('
posix='(^|[^.>_[:alnum:]])(::)?(access|stat|lstat|fstat)\s*\('
found=$(grep -rnE --include='*.cc' --include='*.h' --include='*.c' --include='*.cpp' \
  -e "$headers" -e "$calls" -e "$posix" app apk catalogue download program stat toolkit ui vm)
[[ -z $found ]] && exit 0
echo "OS calls outside platform/ (add a function to platform/ and call it):"
echo "$found"
exit 1
