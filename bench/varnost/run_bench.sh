#!/usr/bin/env bash
# Times whole conversions against `wc -l` on the same file, in one run.
#
#   bench/varnost/run_bench.sh [BUILD_DIR] [REPEATS]
#
# Generates nets into a temporary directory (removed at the end), converts
# each with `varnost -s` and counts its lines with `wc -l`, both with a warm
# page cache, REPEATS times (default 3), and prints the best wall time of each,
# their ratio, and the peak resident memory of the conversion beside the size
# of the two dense matrices. Needs varnost and varnost_gen_net built in
# BUILD_DIR (default: build), and GNU time at /usr/bin/time.
set -euo pipefail

build=${1:-build}
repeats=${2:-3}
varnost="$build/bin/varnost"
gen="$build/bin/varnost_gen_net"
for tool in "$varnost" "$gen" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool (build the targets varnost and varnost_gen_net)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/varnost-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Prints "SECONDS KBYTES" for one run of the command.
measure() {
  local log="$work/time.log"
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { cat "$log" >&2; return 1; }
  local wall rss
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  # wall is [h:]m:ss.cc
  awk -v w="$wall" -v r="$rss" 'BEGIN {
    n = split(w, part, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + part[i];
    printf "%.3f %d\n", s, r }'
}

# Best of REPEATS: "SECONDS KBYTES" with the smallest time (and its memory).
best() {
  local bestT="" bestR="" t r
  for ((i = 0; i < repeats; i++)); do
    read -r t r < <(measure "$@")
    if [ -z "$bestT" ] || awk -v a="$t" -v b="$bestT" 'BEGIN { exit !(a < b) }'; then
      bestT=$t; bestR=$r
    fi
  done
  echo "$bestT $bestR"
}

run_case() {
  local label=$1 places=$2 transitions=$3 mode=$4
  local net="$work/$label.mat"
  "$gen" "$places" "$transitions" "$mode" 7 >"$net"
  cat "$net" >/dev/null  # warm the page cache for both programs
  local size; size=$(stat -c %s "$net")
  read -r tv rv < <(best "$varnost" -s "$net")
  read -r tw rw < <(best wc -l "$net")
  local matrices=$(( 2 * places * transitions * 4 / 1024 ))
  awk -v l="$label" -v s="$size" -v tv="$tv" -v tw="$tw" -v rv="$rv" -v m="$matrices" 'BEGIN {
    ratio = (tw > 0) ? tv / tw : 0;
    printf "%-28s file %7.1f MB | varnost %7.3f s | wc -l %7.3f s | ratio %6.2f x | peak RSS %7.1f MiB (dense matrices %7.1f MiB, %.2f of them)\n",
      l, s / 1e6, tv, tw, ratio, rv / 1024, m / 1024, (m > 0 ? rv / m : 0) }'
  rm -f "$net" "$net.ll_net"
}

echo "best of $repeats runs, warm page cache"
run_case sparse-10000x10000 10000 10000 sparse
run_case dense-2000x2000 2000 2000 dense
run_case dense-1000x1000 1000 1000 dense
