#!/usr/bin/env bash
# Builds the Debian packages with cpack, installs kestbomex with apt into a
# fresh Debian 12 root (unpacked from a debootstrap made once and kept in
# $KBX_DEBIAN_BASE, default ~/.cache/kestbomex), and there calls ExportAsTxt2
# through `kestbomex --bus` on a private session bus, which starts the
# installed server by its activation file. Runs lintian on both packages
# when it is installed, and reads the manual page there with man.
set -euo pipefail
build=$1 source=$2
mirror=${KBX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
base=${KBX_DEBIAN_BASE:-$HOME/.cache/kestbomex}/bookworm-minbase.tar
command -v debootstrap >/dev/null || { echo "debootstrap is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
deb=$(echo "$work"/pkg/kestbomex_*.deb)
dpkg-deb -f "$deb" Depends | grep -q 'libqt6dbus6'
if command -v lintian >/dev/null; then lintian --fail-on error,warning "$work"/pkg/*.deb; fi

# What mounts runs in a mount namespace of its own: the mounts end with it.
if [ ! -f "$base" ]; then
  curl -sfI "$mirror/dists/bookworm/Release" >/dev/null || { echo "Debian mirror $mirror unreachable"; exit 77; }
  unshare --mount --fork debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" \
    || { tail -20 "$work/debootstrap.log"; exit 1; }
  mkdir -p "$(dirname "$base")" && tar -C "$work/base" -cf "$base.part" . && mv "$base.part" "$base"
fi
root=$work/root
mkdir "$root" && tar -C "$root" -xf "$base"
cp "$deb" "$source/examples/plainbom/template.xlsx" "$root/tmp/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The root keeps the device nodes debootstrap made; only /proc is mounted.
in_root() { unshare --mount --pid --fork sh -c 'mount -t proc proc "$0/proc" &&
  exec chroot "$0" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"' "$root" "$@"; }
in_root sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  /tmp/kestbomex_*.deb dbus man-db >/dev/null'
grep -qx 'Exec=/usr/bin/kestbomex-server' "$root/usr/share/dbus-1/services/KestBomEx.KestDBBomExcel.service"
grep -qx 'ExecStart=/usr/bin/kestbomex-server' "$root/usr/lib/systemd/user/kestbomex-server.service"
in_root man kestbomex >"$work/man.txt"
for method in $("$build/src/cli/kestbomex" methods | grep -o '"name":"[A-Za-z0-9]*","params"' | cut -d'"' -f4) 'Exit status'; do
  grep -q "^ *$method\b" "$work/man.txt" || { echo "man kestbomex does not show $method"; exit 1; }
done
answer=$(in_root dbus-run-session -- kestbomex copy /tmp/template.xlsx /tmp/sheet.txt --sheet Stueckliste --bus)
[ "$answer" = '{"result":0}' ] || { echo "answer: $answer"; exit 1; }
grep -q '^Stückliste' "$root/tmp/sheet.txt"
