#!/usr/bin/env bash
# Installs the Debian packages Keldara needs to build, run and test. Safe to run again.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config clang-format
  qt6-base-dev libgl-dev
  libmariadb-dev mariadb-server mariadb-client galera-4 rsync openssl
  libsecret-1-dev gnome-keyring dbus-daemon libsecret-tools
  mdbtools mdbtools-dev
  libzip-dev libxml2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-xlrd python3-xlwt python3-dbfread
  python3-openpyxl python3-odf python3-xlsxwriter
  xvfb xauth x11-utils imagemagick
  dpkg-dev file help2man lintian appstream
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
