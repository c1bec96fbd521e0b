#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times qxhost keeping up with a tool that traces a large model, with
# --model FILE.json against the same run without it.
#
#   bench/qxhost/run_bench.sh [BUILD_DIR] [COUNT] [REPEATS]
#
# The tool (qxhost_model_flood) sends COUNT nodes with a name each and COUNT
# edges (default 1000000 of each) as fast as the library can; qxhost prints
# the conversation to /dev/null. Each of REPEATS rounds (default 3) runs it
# once without --model and once with --model, interleaved. Prints the median
# wall-clock times, their ratio (goal: at most 1.5), qxhost's own peak
# resident memory (read from /proc while it runs, the tool's not included)
# with --model, and that memory less the peak of a run of one object, per
# node and edge: the bytes per object of the rebuilt model.
# Needs qxhost and qxhost_model_flood built in BUILD_DIR (default: build).
set -euo pipefail

build=${1:-build}
count=${2:-1000000}
repeats=${3:-3}
host="$build/bin/qxhost"
tool="$build/bin/qxhost_model_flood"
for program in "$host" "$tool"; do
  [ -x "$program" ] || { echo "missing $program (build the targets qxhost and qxhost_model_flood)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qxhost-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/ws"

# Runs qxhost on the tool with N objects and the options given; appends
# "WALL KBYTES" (seconds; qxhost's peak resident set size, the last figure
# read before it ended) to the file $1.
run() {
  local into=$1 n=$2 t0 t1 pid peak=0 hwm
  shift 2
  t0=$EPOCHREALTIME
  "$host" --timeout 3600 --workspace "$work/ws" "$@" "$tool" "$n" >/dev/null 2>"$work/err" &
  pid=$!
  while hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) && [ -n "$hwm" ]; do
    peak=$hwm
    sleep 0.05
  done
  wait "$pid" || { cat "$work/err" >&2; return 1; }
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" -v k="$peak" 'BEGIN { printf "%.3f %d\n", b - a, k }' >>"$into"
}

# Median of column $2 of file $1.
median() {
  sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

echo "qxhost and a tool tracing $count nodes and $count edges, $repeats rounds; load $(cut -d' ' -f1-3 /proc/loadavg)"
for _ in $(seq "$repeats"); do
  run "$work/plain" "$count"
  run "$work/model" "$count" --model "$work/model.json"
done
run "$work/small" 1 --model "$work/small.json"

plain_wall=$(median "$work/plain" 1)
model_wall=$(median "$work/model" 1)
printf 'without --model:   %s s\n' "$plain_wall"
printf '%s\n' "--model FILE.json: $model_wall s"
awk -v a="$model_wall" -v b="$plain_wall" 'BEGIN { printf "ratio (wall): %.2f (goal <= 1.5)\n", a / b }'
model_kb=$(median "$work/model" 2)
small_kb=$(median "$work/small" 2)
awk -v m="$model_kb" -v s="$small_kb" -v n="$count" -v bytes="$(stat -c %s "$work/model.json")" 'BEGIN {
  printf "peak memory with --model: %d KiB (a run of one object: %d KiB); JSON file: %d bytes\n", m, s, bytes
  printf "memory per node or edge: %.1f bytes\n", (m - s) * 1024 / (2 * n) }'
