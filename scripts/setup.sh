#!/usr/bin/env bash
# Installs every Debian 12 package Lumo needs to build, run and test.
# Idempotent and non-interactive; run as root (or through sudo).
set -euo pipefail

# libcurl is the GnuTLS build: aria2, the download engine, brings GnuTLS already, where the
# OpenSSL build would set up a second TLS library in the same process.
packages=(
  build-essential cmake pkg-config git clang-format clang-tidy
  libgtk-3-dev libwebkit2gtk-4.1-dev libayatana-appindicator3-dev
  libsqlite3-dev sqlite3 libjsoncpp-dev zlib1g-dev libzip-dev zip unzip
  libcurl4-gnutls-dev curl nettle-dev libaria2-0-dev aria2
  libcpp-httplib-dev libssl-dev
  aapt android-framework-res adb ccache clang
  googletest libgtest-dev libgmock-dev
  xvfb xauth xdotool x11-utils imagemagick dbus-x11 at-spi2-core python3-gi gir1.2-atspi-2.0
  fonts-droid-fallback procps time librsvg2-common openbox desktop-file-utils xdg-utils
  libglib2.0-bin webp-pixbuf-loader
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
