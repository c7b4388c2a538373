#!/usr/bin/env bash
# Builds the Debian package of the program: a release build, then CPack.
# Install it with   sudo apt install ./build-package/package/tembrel_*.deb
# and remove it with   sudo apt remove tembrel   (the users' data folders stay).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
build="${TEMBREL_PACKAGE_BUILD:-$top/build-package}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTEMBREL_TESTS=OFF -DTEMBREL_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/package/tembrel_*.deb
(cd "$build" && cpack --config CPackConfig.cmake -B "$build/package")
deb="$(ls "$build"/package/tembrel_*.deb)"
echo
echo "Package: $deb"
echo "Install: sudo apt install ${deb/#$top/.}"
