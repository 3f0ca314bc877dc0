#!/usr/bin/env bash
# Installs the Debian packages KestBomEx needs, only those still missing.
#
#   scripts/install-deps.sh          to build and run the programs: the build
#                                    tools and the libraries they link
#   scripts/install-deps.sh --tests  also what the tests, the benchmarks, the
#                                    gallery and the package test use
#   ... --list                       print the package names, install nothing
#
# LibreOffice (libreoffice-calc-nogui, driven through python3-uno) is only
# recommended for running: .xls and .ods workbooks go through it, .xlsx needs
# nothing more. The tests install it.
set -euo pipefail

BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config help2man python3
  libzip-dev zlib1g-dev libpugixml-dev libstb-dev libcsv-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
)

TEST_PACKAGES=(
  git zipcmp zipmerge ziptool
  libgtest-dev libgmock-dev googletest
  libxlsxwriter-dev lintian
  dbus dbus-x11 dbus-bin libglib2.0-bin xvfb xauth
  python3 python3-openpyxl python3-dbus python3-gi python3-pil
  libreoffice-calc-nogui poppler-utils
  debootstrap curl
  # the .xls/.ods bridge drives its warm LibreOffice through UNO from Debian's Python
  python3-uno
)

wanted=("${BUILD_PACKAGES[@]}")
for arg in "$@"; do
  case $arg in
    --tests) wanted+=("${TEST_PACKAGES[@]}") ;;
    --list) list=yes ;;
    *) echo "usage: $0 [--tests] [--list]   (--list: print the packages, install nothing)" >&2; exit 2 ;;
  esac
done
if [ -n "${list:-}" ]; then
  printf '%s\n' "${wanted[@]}"
  exit 0
fi

missing=()
for pkg in "${wanted[@]}"; do
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
