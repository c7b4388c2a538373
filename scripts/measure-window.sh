#!/usr/bin/env bash
# The program's start to its main window mapped on screen, on a virtual X server of the
# script's own (Xvfb), with a call log of N calls (default 100,000) and with the delivered
# empty log. Each run starts a fresh copy of the program in its own folder (simulated line
# and input, as a first start with /simulate gives); the time runs from the start of the
# process to the MapNotify of its main window, seen by xev on the root window. Prints the
# median of R runs (default 7) after one run that is not counted.
#   scripts/measure-window.sh [BUILD_DIR] [CALLS] [RUNS]
set -euo pipefail
build=${1:-build-rel}
calls=${2:-100000}
runs=${3:-7}
program="$build/bin/tembrel"
[ -x "$program" ] || { echo "no program at $program (build the target tembrel)" >&2; exit 1; }
for tool in Xvfb xev xprop; do
  command -v "$tool" > /dev/null || { echo "$tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
xvfb=""; xevpid=""
cleanup() {
  [ -n "$xevpid" ] && kill "$xevpid" 2> /dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export TMPDIR="$work" TEMBREL_LINESIM_PREFIX="tembrel-window-$$"
unset QT_QPA_PLATFORM

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

"$(dirname "$0")/make-calllog.py" "$work/full.xml" "$calls"
cp "$(dirname "$0")/../data/data.xml" "$work/empty.xml"

# Top-level windows being mapped, as they happen.
mkfifo "$work/maps"
stdbuf -oL xev -root -event substructure > "$work/maps" &
xevpid=$!
exec 3< "$work/maps"

cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# One start with the given log; prints "elapsed_ms cpu_ms".
run_once() {
  local log=$1 dir="$work/run" pid t0 t1 cpu line window
  rm -rf "$dir"; mkdir "$dir"
  cp "$program" "$dir/tembrel"
  cp "$log" "$dir/data.xml"
  while read -r -t 0.05 line <&3; do :; done
  t0=$(date +%s%N)
  "$dir/tembrel" /simulate > "$dir/out.txt" 2>&1 &
  pid=$!
  t1=""
  while read -r -t 30 line <&3; do
    case "$line" in
      MapNotify*)
        t1=$(date +%s%N); cpu=$(cpu_ms "$pid")
        read -r -t 5 line <&3 || true
        window=$(sed -n 's/.*window \(0x[0-9a-f]*\).*/\1/p' <<< "$line")
        if [ -n "$window" ] && xprop -id "$window" WM_NAME 2> /dev/null | grep -q "Tembrel"; then break; fi
        t1="" ;;
    esac
  done
  kill -TERM "$pid" 2> /dev/null || true
  for _ in $(seq 100); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  [ -n "$t1" ] || { echo "the main window never appeared: $(cat "$dir/out.txt")" >&2; exit 1; }
  echo "$(( (t1 - t0) / 1000000 )) $cpu"
}

measure() {
  local name=$1 log=$2 elapsed="" cpus="" result
  run_once "$log" > /dev/null
  for _ in $(seq "$runs"); do
    result=$(run_once "$log")
    elapsed+="${result% *} "; cpus+="${result#* } "
  done
  echo "$name: start to main window mapped, ms (median of $runs): $(tr ' ' '\n' <<< "$elapsed" | grep . | median)   all: $elapsed"
  echo "$name: CPU ms of the program until then (median): $(tr ' ' '\n' <<< "$cpus" | grep . | median)   all: $cpus"
}

echo "load at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
measure "$calls calls ($(stat -c %s "$work/full.xml") bytes)" "$work/full.xml"
measure "empty log" "$work/empty.xml"
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
