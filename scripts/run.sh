#!/usr/bin/env bash
# Installs what is missing, builds the release build and starts the program.
# Without a real telephone line in the settings the program starts on the simulated
# line with the virtual input (the switch /simulate), so that it shows its work at once;
# ring that line with build/bin/tembrel-linesim (see --help).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
build="${TEMBREL_BUILD:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEMBREL_TESTS=OFF -DTEMBREL_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
bin="$build/bin"

# A real line is one the settings name that is not a simulated one.
extra=()
device=""
if [ -f "$bin/tembrel.ini" ]; then
  device="$(grep -a -i -m1 '^TAPIDevice=' "$bin/tembrel.ini" | cut -d= -f2- | tr -d '\r' || true)"
fi
case "$device" in
  ""|Simulovan*) extra=(/simulate) ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if [ -x "$bin/tembrel-headless" ]; then
    echo "No display here: starting the windowless logger on the simulated line instead of the main window."
    exec "$bin/tembrel-headless" /simulate "$@"
  fi
  echo "No display here, and the windowless logger is not built."
  exit 1
fi
if [ -x "$bin/tembrel" ]; then
  [ ${#extra[@]} -gt 0 ] && echo "No real telephone line is set up: starting on the simulated line (ring it with $bin/tembrel-linesim ring 603123456)."
  exec "$bin/tembrel" "${extra[@]}" "$@"
elif [ -x "$bin/tembrel-headless" ]; then
  echo "The main window is not built; starting the windowless logger on the simulated line."
  exec "$bin/tembrel-headless" /simulate "$@"
else
  echo "Nothing to start: the program was not built (see the build output above)."
  exit 1
fi
