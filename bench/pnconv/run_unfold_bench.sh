#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times pnconv unfolding a large symmetric net to PNML against pnconv's own
# PNML -> PNML conversion of the place/transition net it wrote, in one run.
#
#   bench/pnconv/run_unfold_bench.sh [BUILD_DIR] [SAMPLE SIZE]
#
# Defaults: build, and the contest's Sudoku-COL-AN01 with its range widened
# to 80 values (531,200 places, 512,000 transitions, 2,048,000 arcs). SAMPLE
# is a symmetric net of tests/pnconv/data/coloured/ (a name without .pnml,
# or a path), widened by widen_sort.sh to SIZE values: SharedMemory-COL-000005
# 500 unfolds to 251,501 places, 500,500 transitions and 2,000,000 arcs. The
# unfolding is written once to learn its size, then hyperfine runs both
# conversions with a warm page cache and prints their times and the ratio
# (unfolding / P/T conversion: at most 1 is the bar, since the unfolding
# never parses the large net's XML); GNU time gives each one's peak resident
# memory. The load average is printed before and after: on a shared machine
# compare figures of runs made at a similar load.
set -euo pipefail

build=${1:-build}
sample=${2:-Sudoku-COL-AN01}
size=${3:-80}
root="$(cd "$(dirname "$0")/../.." && pwd)"
[ -f "$sample" ] || sample="$root/tests/pnconv/data/coloured/$sample.pnml"
[ -f "$sample" ] || { echo "no sample $sample" >&2; exit 2; }
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target pnconv >/dev/null
for tool in "$build/bin/pnconv" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done
command -v hyperfine >/dev/null || { echo "missing hyperfine" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$root/bench/pnconv/widen_sort.sh" "$sample" "$size" >"$dir/wide.pnml"
"$build/bin/pnconv" -q "$dir/wide.pnml" "$dir/pt.pnml"
echo "$(basename "$sample" .pnml) widened to $size: $(du -k "$dir/wide.pnml" | cut -f1) kB"
count() { grep -c "<$1 " "$dir/pt.pnml" || true; }
echo "unfolded: $(count place) places, $(count transition) transitions, $(count arc) arcs," \
  "$(du -m "$dir/pt.pnml" | cut -f1) MB of PNML"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-json "$dir/times.json" \
  -n unfold "$build/bin/pnconv -q $dir/wide.pnml $dir/out-unfold.pnml" \
  -n pt "$build/bin/pnconv -q $dir/pt.pnml $dir/out-pt.pnml"
python3 - "$dir/times.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
u, p = r["unfold"], r["pt"]
print(f"wall median: unfold {u['median']:.3f} s, P/T PNML -> PNML {p['median']:.3f} s,"
      f" ratio {u['median'] / p['median']:.2f} (fastest runs: {u['min'] / p['min']:.2f})")
cu, cp = u["user"] + u["system"], p["user"] + p["system"]
print(f"processor time: unfold {cu:.3f} s, P/T {cp:.3f} s, ratio {cu / cp:.2f}")
PY
/usr/bin/time -f "unfold peak memory: %M KB" "$build/bin/pnconv" -q "$dir/wide.pnml" "$dir/out-unfold.pnml"
/usr/bin/time -f "P/T PNML -> PNML peak memory: %M KB" "$build/bin/pnconv" -q "$dir/pt.pnml" "$dir/out-pt.pnml"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
