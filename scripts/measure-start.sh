#!/usr/bin/env bash
# Start of tembrel-headless with a call log of N calls (default 100,000): time from the
# start to "READY", peak memory at that moment, and the first call after the start, from
# the hang-up to its row on disk (the CALL line, printed after the save). Prints the median of R runs (default 7).
#   scripts/measure-start.sh [BUILD_DIR] [CALLS] [RUNS]
set -euo pipefail
build=${1:-build-rel}
calls=${2:-100000}
runs=${3:-7}
bin="$build/bin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work" TEMBREL_LINESIM_PREFIX="tembrel-measure-$$"

"$(dirname "$0")/make-calllog.py" "$work/data.xml" "$calls"
cp "$work/data.xml" "$work/data.orig"
echo "data.xml: $(stat -c %s "$work/data.xml") bytes, $calls calls; load: $(cut -d' ' -f1-3 /proc/loadavg)"

# CPU of a process so far, in ms (user + system; steadier than elapsed time on a busy machine).
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$1/stat"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
: > "$work/ready"; : > "$work/peak"; : > "$work/first"; : > "$work/readycpu"; : > "$work/firstcpu"
for r in $(seq "$runs"); do
  cp "$work/data.orig" "$work/data.xml"
  rm -rf "$work/data"
  fifo="$work/out"; rm -f "$fifo"; mkfifo "$fifo"
  t0=$(date +%s%N)
  "$bin/tembrel-headless" -simulate --datadir "$work" > "$fifo" 2>&1 &
  pid=$!
  exec 3< "$fifo"
  while read -r line <&3; do
    case "$line" in
      READY*) t1=$(date +%s%N); cpu_ms "$pid" >> "$work/readycpu"; grep VmHWM /proc/$pid/status | awk '{print $2}' >> "$work/peak"; break ;;
      ERROR*) echo "$line" >&2; kill "$pid"; exit 1 ;;
    esac
  done
  echo $(( (t1 - t0) / 1000000 )) >> "$work/ready"
  # The first call after the start: hang-up to the CALL line (printed once the row is on disk).
  "$bin/tembrel-linesim" "ring 603123456; +0.05 answer" > /dev/null
  sleep 1
  # Drop what the call printed so far, then hang up (the time includes tembrel-linesim's
  # start and its message to the line).
  while read -r -t 0.2 line <&3; do :; done
  th=$(date +%s%N); c0=$(cpu_ms "$pid")
  "$bin/tembrel-linesim" "hangup" > /dev/null &
  sim=$!
  while read -r line <&3; do
    case "$line" in CALL*) tc=$(date +%s%N); echo $(( $(cpu_ms "$pid") - c0 )) >> "$work/firstcpu"; break ;; esac
  done
  wait "$sim" || true
  echo $(( (tc - th) / 1000000 )) >> "$work/first"
  kill -TERM "$pid"; wait "$pid" || true
  exec 3<&-
done
echo "start to READY, ms (median of $runs): $(median < "$work/ready")   all: $(tr '\n' ' ' < "$work/ready")"
echo "start to READY, CPU ms of tembrel-headless (median): $(median < "$work/readycpu")   all: $(tr '\n' ' ' < "$work/readycpu")"
echo "peak memory at READY, MiB (median): $(median < "$work/peak" | awk '{printf "%.1f", $1/1024}')"
echo "first call, hang-up (from tembrel-linesim's start) to row on disk, ms (median): $(median < "$work/first")   all: $(tr '\n' ' ' < "$work/first")"
echo "first call, CPU ms of tembrel-headless from the hang-up to the row on disk (median): $(median < "$work/firstcpu")   all: $(tr '\n' ' ' < "$work/firstcpu")"
