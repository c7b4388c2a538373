#!/usr/bin/env bash
# Installs what is missing, builds the release build and starts the program.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
build="${TEMBREL_BUILD:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEMBREL_TESTS=OFF -DTEMBREL_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
bin="$build/bin"
if [ -x "$bin/tembrel" ]; then
  exec "$bin/tembrel" "$@"
elif [ -x "$bin/tembrel-headless" ]; then
  echo "The main window is not built yet; starting the windowless logger on the simulated line."
  exec "$bin/tembrel-headless" /simulate "$@"
else
  echo "Nothing to start yet: the program's windows and its windowless host are still being built."
  echo "The libraries are built in $build; run scripts/test.sh to see them work."
fi
