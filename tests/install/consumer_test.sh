#!/usr/bin/env bash
# Installs the build into a staging prefix, builds tests/install/consumer
# against it with find_package(KestBomEx), and runs one method with it.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
service=$work/prefix/share/dbus-1/services/KestBomEx.KestDBBomExcel.service
grep -qx "Exec=$work/prefix/bin/kestbomex-server" "$service"
# Outside /usr the user unit goes beside dbus-1, where systemd finds it whenever the bus finds the activation file.
grep -qx "SystemdService=kestbomex-server.service" "$service"
unit=$work/prefix/share/systemd/user/kestbomex-server.service
grep -qx "ExecStart=$work/prefix/bin/kestbomex-server" "$unit"
if command -v systemd-analyze >/dev/null; then systemd-analyze verify --man=no "$unit"; fi
# Of the engine only its entry point is public; the zip library stays behind the package.
engine=$(cd "$(find "$work/prefix" -type d -path '*/kestbomex/engine')" && ls)
[ "$engine" = engine.h ] || { echo "installed engine headers: $engine"; exit 1; }
! grep -rl '<zip.h>' "$work/prefix" --include='*.h' || { echo "an installed header includes <zip.h>"; exit 1; }
cmake -S "$source/tests/install/consumer" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
pc=$(dirname "$(find "$work/prefix" -name kestbomex.pc)")
g++ -std=c++20 -o "$work/consumer-pc" "$source/tests/install/consumer/main.cpp" \
  $(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs kestbomex)
for consumer in "$work/build/consumer" "$work/consumer-pc"; do
  rm -f "$work/sheet.txt"
  status=$(TEMP="$work" "$consumer" "$source/examples/plainbom/template.xlsx" "$work/sheet.txt" Stueckliste)
  [ "$status" = 0 ] || { echo "$consumer: ExportAsTxt2 gave $status"; exit 1; }
  grep -q '^Stückliste' "$work/sheet.txt"
  grep -q '\$pos:name' "$work/sheet.txt"
done
