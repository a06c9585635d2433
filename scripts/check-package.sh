#!/usr/bin/env bash
# Builds the Debian package from a built tree (default build/default), unpacks it into a scratch
# root without installing it, and proves it usable from there: both consumers (pkg-config and
# find_package) build and run against the unpacked tree, qptool runs from it when the package
# carries it, and its manual pages render without a warning. Run from anywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "${1:-build/default}" && pwd)
out="$root/build/package"

rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(find "$out" -maxdepth 1 -name '*.deb')
[ "$(echo "$deb" | wc -w)" -eq 1 ] || { echo "expected one package in $out, found: $deb" >&2; exit 1; }
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends

scratch="$out/root"
dpkg -x "$deb" "$scratch"
prefix="$scratch/usr"
for f in include/QpUtils/QpUtilsLib.h lib/cmake/QpUtils/QpUtilsConfig.cmake share/QpUtils/qpsp.lua \
         share/man/man1/qptool.1 share/man/man1/qpnode.1; do
  [ -e "$prefix/$f" ] || { echo "the package lacks $f" >&2; exit 1; }
done
libdir=$(cd "$prefix" && dirname "$(find . -name 'libQpUtils.so.*' | head -n 1)")
export LD_LIBRARY_PATH="$prefix/$libdir"

consumer="$out/consumer"
mkdir -p "$consumer"
# shellcheck disable=SC2046
g++ -std=c++17 -Wall -Wextra -o "$consumer/consumer-pc" tests/consumer/consumer.cpp \
  $(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs QpUtils)
"$consumer/consumer-pc"
cmake -S tests/consumer -B "$consumer/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$consumer/cmake" >/dev/null
"$consumer/cmake/consumer"

if [ -x "$prefix/bin/qptool" ]; then
  "$prefix/bin/qptool" --version
else
  echo "the package has no bin/qptool (tools not built): not run"
fi

for page in "$prefix"/share/man/man1/*.1; do
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
  MANWIDTH=80 man -l "$page" >/dev/null
done
echo "package checked"
