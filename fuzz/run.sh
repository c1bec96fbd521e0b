#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz targets with Clang and runs them.
#
#   fuzz/run.sh TARGET [SECONDS]   run one target (default 60 s)
#   fuzz/run.sh all [SECONDS]      run every target in turn (default 30 s each)
#   fuzz/run.sh list               name the targets
#
# Environment: QX_FUZZ_BUILD build directory (default build-fuzz at the top of
# the repository), QX_FUZZ_JOBS build jobs (default 2), QX_FUZZ_FLAGS extra
# libFuzzer flags. The seeds of fuzz/corpus/TARGET are copied into a working
# corpus under the build directory, which grows across runs; crashes are
# written to BUILD/fuzz-artifacts/. Exits non-zero when a target finds a
# fault.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${QX_FUZZ_BUILD:-$root/build-fuzz}")"
jobs="${QX_FUZZ_JOBS:-2}"

targets=(matrix_reader_fuzz matrix_parts_fuzz ref_reader_fuzz pnml_reader_fuzz pep_reader_fuzz symmetric_net_fuzz
         frame_reader_fuzz basic_info_fuzz
         object_table_fuzz message_lookup_fuzz text_splitter_fuzz kora_syntax_fuzz)

usage() { sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }

# Inputs longer than libFuzzer's default reach the paths that matter: frames
# over the maximum message length, texts of many pieces, lines over the line
# buffers.
max_len() {
  case "$1" in
    frame_reader_fuzz) echo 140000 ;;
    text_splitter_fuzz|basic_info_fuzz|message_lookup_fuzz) echo 20000 ;;
    matrix_parts_fuzz) echo 2048 ;;
    symmetric_net_fuzz) echo 16384 ;;
    *) echo 8192 ;;
  esac
}

# Configures (once) and builds the targets; the build's output is shown only
# when it fails.
build_targets() {
  mkdir -p "$build"
  local log="$build/fuzz-build.log"
  if { [ -f "$build/CMakeCache.txt" ] ||
       cmake -S "$root" -B "$build" -DQUARNEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
         -DQUARNEL_BUILD_TESTS=OFF -DQUARNEL_BUILD_BENCH=OFF; } >"$log" 2>&1 &&
     cmake --build "$build" -j"$jobs" --target fuzz_targets >>"$log" 2>&1; then
    return 0
  fi
  cat "$log" >&2
  echo "fuzz: the targets could not be built" >&2
  exit 1
}

run_one() {
  local target="$1" seconds="$2"
  local corpus="$build/fuzz-corpus/$target" artifacts="$build/fuzz-artifacts"
  mkdir -p "$corpus" "$artifacts"
  cp -n "$root/fuzz/corpus/$target/"* "$corpus/" 2>/dev/null || true
  local log="$build/fuzz-logs/$target.log"
  mkdir -p "$(dirname "$log")"
  echo "== $target: ${seconds}s"
  local status=0 dict=()
  # A target with a dictionary of its format's words (fuzz/TARGET.dict) gets it.
  [ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  # shellcheck disable=SC2086
  "$build/fuzz/$target" "$corpus" "${dict[@]}" -max_total_time="$seconds" -max_len="$(max_len "$target")" \
    -timeout=20 -rss_limit_mb=2560 -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target-" ${QX_FUZZ_FLAGS:-} >"$log" 2>&1 || status=$?
  grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' "$log" | sed 's/^/   /' || true
  if [ "$status" -ne 0 ]; then
    echo "   FAILED (status $status): see $log"
    grep -m1 -E 'ERROR|oracle failed|runtime error|SUMMARY' "$log" | sed 's/^/   /' || true
  fi
  return "$status"
}

[ $# -ge 1 ] || usage
case "$1" in
  list) printf '%s\n' "${targets[@]}"; exit 0 ;;
  -h|--help) usage ;;
esac
build_targets
if [ "$1" = all ]; then
  passed=0 failed=0
  for t in "${targets[@]}"; do
    if run_one "$t" "${2:-30}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  done
  echo "fuzz: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi
for t in "${targets[@]}"; do
  [ "$t" = "$1" ] && { run_one "$1" "${2:-60}"; exit $?; }
done
echo "unknown target: $1 (fuzz/run.sh list)" >&2
exit 2
