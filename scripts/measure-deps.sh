#!/usr/bin/env bash
# Prints what scripts/install-deps.sh and scripts/install-deps.sh --tests
# install on a fresh Debian 12: packages, download and disk space, as apt
# works them out (--no-install-recommends, as install-deps.sh installs).
# Uses the minimal Debian 12 root the package test keeps (tests/install/
# deb_test.sh makes it on its first run); needs root for chroot.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${KBX_DEBIAN_BASE:-$HOME/.cache/kestbomex}/bookworm-minbase.tar
[ -f "$base" ] || { echo "no $base: run ctest -R install.deb once" >&2; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { unshare --mount --pid --fork sh -c 'mount -t proc proc "$0/proc" &&
  exec chroot "$0" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"' "$root" "$@"; }
in_root apt-get update -qq
for args in "" "--tests"; do
  packages=$(scripts/install-deps.sh --list $args | sort -u | tr '\n' ' ')
  count=$(in_root apt-get install -s --no-install-recommends $packages | grep -c '^Inst ')
  download=$(in_root apt-get install -qq --print-uris --no-install-recommends $packages |
    awk '{bytes += $3} END {printf "%.0f", bytes / 1e6}')
  # apt answers the question with no and exits with 1.
  disk=$(in_root apt-get install --assume-no --no-install-recommends $packages 2>/dev/null |
    sed -n 's/^After this operation, \(.*\) of additional disk space.*/\1/p') || true
  echo "install-deps.sh${args:+ $args}: $count packages, $download MB to download, $disk on disk"
done
