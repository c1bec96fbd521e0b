#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times whole conversions against a plain program on the same bytes, in one run.
#
#   bench/varnost/run_bench.sh [BUILD_DIR] [REPEATS]
#
# Generates nets into a temporary directory (removed at the end) and converts
# each with `varnost -s`, REPEATS times (default 7), interleaved with the plain
# program it is measured against, with a warm page cache:
#   - the sparse net against `wc -l` on the same matrix file (reading speed);
#   - the dense nets against `cat` copying the converter's output into a file
#     in the same directory (writing speed).
# For each it prints the median wall-clock time of both, their ratio, the
# median CPU time (user + system, the steadier figure on a busy machine), the
# converter's peak resident memory and its minor page faults (each costs
# several microseconds of system time on a virtual machine). The shipped example nets, a few
# kilobytes each, are timed the same way against `cat` of the matrix file,
# 20 runs in a row per measure (times are per run).
# The load average is printed before and after: on a shared machine compare
# figures of runs made at a similar load.
#
# With BASELINE=path/to/another/varnost in the environment every case also
# times that program, interleaved too, and prints its figures beside.
# Configures BUILD_DIR (default: build) with QUARNEL_STATIC_CXX_RUNTIME=ON, so
# that varnost carries its own copy of the C++ runtime (its start-up is then
# about half as long), says so, and builds varnost and varnost_gen_net there.
# The option stays on in that folder's cache. Needs GNU time at
# /usr/bin/time.
set -euo pipefail

build=${1:-build}
repeats=${2:-7}
varnost="$build/bin/varnost"
gen="$build/bin/varnost_gen_net"
baseline=${BASELINE:-}
root="$(cd "$(dirname "$0")/../.." && pwd)"
echo "varnost is built with its own copy of the C++ runtime (QUARNEL_STATIC_CXX_RUNTIME=ON in $build)"
cmake -S "$root" -B "$build" -DQUARNEL_STATIC_CXX_RUNTIME=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target varnost varnost_gen_net >/dev/null
for tool in "$varnost" "$gen" /usr/bin/time ${baseline:+"$baseline"}; do
  [ -x "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/varnost-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs the command $loop times; appends "WALL CPU KBYTES FAULTS" (seconds,
# seconds, peak resident set size, minor page faults per run) to the file $1.
measure() {
  local into=$1; shift
  local log="$work/time.log" t0 t1
  t0=$EPOCHREALTIME
  if [ "$loop" -eq 1 ]; then
    /usr/bin/time -f '%U %S %M %R' -o "$log" "$@" >/dev/null 2>&1 || { cat "$log" >&2; return 1; }
  else
    /usr/bin/time -f '%U %S %M %R' -o "$log" sh -c 'n=$1; shift; for i in $(seq "$n"); do "$@"; done' sh \
      "$loop" "$@" >/dev/null 2>&1 || { cat "$log" >&2; return 1; }
  fi
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" -v n="$loop" '{ printf "%.6f %.3f %d %d\n", b - a, $1 + $2, $3, $4 / n }' "$log" >>"$into"
}

# Median of column $2 of file $1.
median() {
  sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { n = NR; print (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2) }'
}

# Runs of the command per measure: 1, or more for commands too short for the
# clocks; times are then divided by it.
loop=1

# run_case LABEL NET NAME REFERENCE...: times varnost on NET against the
# reference command (called NAME in the output), interleaved, and prints one
# line.
run_case() {
  local label=$1 net=$2 name=$3; shift 3
  local mine="$work/mine" ref="$work/ref" base="$work/base"
  : >"$mine"; : >"$ref"; : >"$base"
  "$varnost" -s "$net" >/dev/null  # warms the page cache and makes the output
  for ((i = 0; i < repeats; i++)); do
    if ((i % 2)); then
      measure "$ref" "$@"; measure "$mine" "$varnost" -s "$net"
    else
      measure "$mine" "$varnost" -s "$net"; measure "$ref" "$@"
    fi
    [ -z "$baseline" ] || measure "$base" "$baseline" -s "$net"
  done
  for f in "$mine" "$ref" "$base"; do
    awk -v n="$loop" '{ printf "%.6f %.4f %d %d\n", $1 / n, $2 / n, $3, $4 }' "$f" >"$f.per" && mv "$f.per" "$f"
  done
  local size; size=$(stat -c %s "$net")
  local wv cv rv fv wr cr
  wv=$(median "$mine" 1); cv=$(median "$mine" 2); rv=$(median "$mine" 3); fv=$(median "$mine" 4)
  wr=$(median "$ref" 1); cr=$(median "$ref" 2)
  awk -v l="$label" -v s="$size" -v wv="$wv" -v cv="$cv" -v rv="$rv" -v fv="$fv" -v wr="$wr" -v cr="$cr" -v r="$name" 'BEGIN {
    printf "%-20s %8.3f MB | varnost wall %7.4f s cpu %6.3f s | %-8s wall %7.4f s cpu %6.3f s | wall ratio %5.2f x | peak RSS %6.1f MiB | faults %6d\n",
      l, s / 1e6, wv, cv, r, wr, cr, (wr > 0 ? wv / wr : 0), rv / 1024, fv }'
  if [ -n "$baseline" ]; then
    local wb cb rb fb
    wb=$(median "$base" 1); cb=$(median "$base" 2); rb=$(median "$base" 3); fb=$(median "$base" 4)
    awk -v wb="$wb" -v cb="$cb" -v rb="$rb" -v fb="$fb" -v wr="$wr" 'BEGIN {
      printf "%-20s %11s | baseline wall %6.4f s cpu %6.3f s | %32s | wall ratio %5.2f x | peak RSS %6.1f MiB | faults %6d\n",
        "", "", wb, cb, "", (wr > 0 ? wb / wr : 0), rb / 1024, fb }'
  fi
}

echo "median of $repeats interleaved runs, warm page cache; load: $(uptime | sed 's/.*load average: //')"
net="$work/sparse.mat"
"$gen" 10000 10000 sparse 7 >"$net"
run_case sparse-10000x10000 "$net" "wc -l" wc -l "$net"
rm -f "$net" "$net.ll_net"
for size in 2000 1000; do
  net="$work/dense$size.mat"
  "$gen" "$size" "$size" dense 7 >"$net"
  "$varnost" -s "$net" >/dev/null
  run_case "dense-${size}x${size}" "$net" "cat>file" sh -c 'cat "$1" >"$2"' sh "$net.ll_net" "$work/copy"
  rm -f "$net" "$net.ll_net" "$work/copy"
done
loop=20
for example in "$root"/examples/*.mat; do
  net="$work/$(basename "$example")"
  cp "$example" "$net"
  [ ! -f "$example.ref" ] || cp "$example.ref" "$net.ref"
  run_case "$(basename "$example" .mat)" "$net" cat cat "$net"
done
echo "load after: $(uptime | sed 's/.*load average: //')"
