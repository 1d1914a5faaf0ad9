#!/usr/bin/env bash
# Installs Lumo from the build in build/ (or $LUMO_BUILD_DIR), building it first when needed.
#   scripts/install.sh --user           into ~/.local, and Lumo opens APK files for this user
#   scripts/install.sh --prefix DIR     into DIR (e.g. /usr/local, as root)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMO_BUILD_DIR:-$root/build}
case "${1:-}" in
  --user) prefix=$HOME/.local user=1 ;;
  --prefix) prefix=${2:?a folder after --prefix} user=0 ;;
  *)
    echo "usage: $0 --user | --prefix DIR" >&2
    exit 2
    ;;
esac
[ -x "$build/bin/lumo" ] || bash "$root/scripts/build.sh"
cmake --install "$build" --prefix "$prefix"
# Desktops read these caches; without them the entry and its icon show up late or not at all.
update-desktop-database "$prefix/share/applications" || true
gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" 2>/dev/null || true
if [ "$user" = 1 ]; then
  xdg-mime default lumo.desktop application/vnd.android.package-archive
  case ":$PATH:" in *":$prefix/bin:"*) ;; *) echo "note: $prefix/bin is not on PATH" ;; esac
fi
echo "Lumo installed: $prefix/bin/lumo"
