#!/usr/bin/env bash
# Times whole conversions against `wc -l` on the same file, in one run.
#
#   bench/varnost/run_bench.sh [BUILD_DIR] [REPEATS]
#
# Generates nets into a temporary directory (removed at the end), converts
# each with `varnost -s` and counts its lines with `wc -l`, both with a warm
# page cache, REPEATS times (default 3), and prints for the best run of each
# (by CPU time) the wall-clock and CPU (user + system) times, their ratios, and
# the peak resident memory of the conversion beside the size of the two dense
# matrices. The CPU ratio is the steadier one on a busy machine. Timer
# resolution is 10 ms: wc -l is repeated on small files to stay above it. Needs varnost and varnost_gen_net built in
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

# Prints "WALL CPU KBYTES" for one run of the command: wall-clock seconds,
# user + system seconds, peak resident set size.
measure() {
  local log="$work/time.log"
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { cat "$log" >&2; return 1; }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, part, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + part[i] }
    /User time/ { u = $2 } /System time/ { s = $2 }
    /Maximum resident set size/ { r = $2 }
    END { printf "%.3f %.3f %d\n", w, u + s, r }' "$log"
}

# Best of REPEATS by CPU time: "WALL CPU KBYTES".
best() {
  local bestLine="" bestC="" w c r
  for ((i = 0; i < repeats; i++)); do
    read -r w c r < <(measure "$@")
    if [ -z "$bestC" ] || awk -v a="$c" -v b="$bestC" 'BEGIN { exit !(a < b) }'; then
      bestC=$c; bestLine="$w $c $r"
    fi
  done
  echo "$bestLine"
}

run_case() {
  local label=$1 places=$2 transitions=$3 mode=$4
  local net="$work/$label.mat"
  "$gen" "$places" "$transitions" "$mode" 7 >"$net"
  cat "$net" >/dev/null  # warm the page cache for both programs
  local size; size=$(stat -c %s "$net")
  read -r wv cv rv < <(best "$varnost" -s "$net")
  # wc -l is repeated until the run is long enough for the 10 ms timer, and
  # its times divided by the count.
  local reps=$(( 400000000 / size )); [ "$reps" -ge 1 ] || reps=1
  read -r ww cw rw < <(best sh -c 'for i in $(seq "$1"); do wc -l "$2" >/dev/null; done' sh "$reps" "$net")
  ww=$(awk -v t="$ww" -v n="$reps" 'BEGIN { printf "%.4f", t / n }')
  cw=$(awk -v t="$cw" -v n="$reps" 'BEGIN { printf "%.4f", t / n }')
  local matrices=$(( 2 * places * transitions * 4 / 1024 ))
  awk -v l="$label" -v s="$size" -v wv="$wv" -v cv="$cv" -v ww="$ww" -v cw="$cw" -v rv="$rv" -v m="$matrices" 'BEGIN {
    printf "%-20s %7.1f MB | varnost wall %6.2f s cpu %6.2f s | wc -l wall %7.4f s cpu %7.4f s | ratio wall %5.1f x cpu %5.1f x | peak RSS %6.1f MiB = %.2f x dense matrices (%.1f MiB)\n",
      l, s / 1e6, wv, cv, ww, cw, (ww > 0 ? wv / ww : 0), (cw > 0 ? cv / cw : 0), rv / 1024, (m > 0 ? rv / m : 0), m / 1024 }'
  rm -f "$net" "$net.ll_net"
}

echo "best of $repeats runs, warm page cache"
run_case sparse-10000x10000 10000 10000 sparse
run_case dense-2000x2000 2000 2000 dense
run_case dense-1000x1000 1000 1000 dense
