#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times pnconv converting a large generated PNML net to PEP against expat's
# bare parse of the same file (pnconv_expat_floor), in one run.
#
#   bench/pnconv/run_bench.sh [BUILD_DIR] [PLACES TRANSITIONS ARCS]
#
# Defaults: build, and a net of 50,000 places, 50,000 transitions and 400,000
# arcs (about 43 MB). The net is generated into a temporary directory
# (removed at the end); hyperfine runs both programs with a warm page cache
# and prints their times and the ratio; GNU time gives pnconv's peak resident
# memory. The load average is printed before and after: on a shared machine
# compare figures of runs made at a similar load.
set -euo pipefail

build=${1:-build}
places=${2:-50000}
transitions=${3:-50000}
arcs=${4:-400000}
root="$(cd "$(dirname "$0")/../.." && pwd)"
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target pnconv pnconv_gen_pnml pnconv_expat_floor >/dev/null
for tool in "$build/bin/pnconv" "$build/bin/pnconv_gen_pnml" "$build/bin/pnconv_expat_floor" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done
command -v hyperfine >/dev/null || { echo "missing hyperfine" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$build/bin/pnconv_gen_pnml" "$places" "$transitions" "$arcs" >"$dir/net.pnml"
echo "net: $places places, $transitions transitions, $arcs arcs, $(du -m "$dir/net.pnml" | cut -f1) MB"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine --warmup 2 --runs "${RUNS:-10}" --export-json "$dir/times.json" \
  -n expat "$build/bin/pnconv_expat_floor $dir/net.pnml" \
  -n pnconv "$build/bin/pnconv -q $dir/net.pnml $dir/net.ll_net"
python3 - "$dir/times.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
e, p = r["expat"], r["pnconv"]
print(f"wall median: expat {e['median']:.3f} s, pnconv {p['median']:.3f} s, ratio {p['median'] / e['median']:.2f}"
      f" (fastest runs: {p['min'] / e['min']:.2f})")
# pnconv builds the net on a second thread while expat parses: its processor
# time (user + system, both threads) is larger than its wall time.
ce, cp = e["user"] + e["system"], p["user"] + p["system"]
print(f"processor time: expat {ce:.3f} s, pnconv {cp:.3f} s, ratio {cp / ce:.2f}")
PY
/usr/bin/time -f "pnconv peak memory: %M KB" "$build/bin/pnconv" -q "$dir/net.pnml" "$dir/net.ll_net"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
