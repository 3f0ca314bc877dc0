#!/usr/bin/env bash
# Installs every Debian package KestBomEx needs to build, test and run.
# Idempotent: runs apt-get only when a package is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libzip-dev zlib1g-dev zipcmp zipmerge ziptool libpugixml-dev libstb-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev googletest
  libxlsxwriter-dev libcsv-dev
  dbus dbus-x11 dbus-bin libglib2.0-bin xvfb xauth
  python3 python3-openpyxl python3-dbus python3-gi python3-pil
  libreoffice-calc-nogui poppler-utils
  debootstrap curl
  # the .xls/.ods bridge drives its warm LibreOffice through UNO from Debian's Python
  python3-uno
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
