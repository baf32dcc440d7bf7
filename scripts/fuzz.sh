#!/usr/bin/env bash
# Builds the libFuzzer targets (host preset, clang) and runs each for a set
# time, one after the other.
#
#   scripts/fuzz.sh [seconds-per-target [target...]]
#
# Seconds default to 60; without target names every target runs.
#
# Fails when any target finds a crash, a sanitizer report, a leak (for
# targets that check leaks), an input slower than KOVA_FUZZ_INPUT_TIMEOUT
# seconds (default 10), or does not end in time. Each target's seed corpus
# (fuzz/corpus/<target>/) is read, never written; what the fuzzer learns goes
# to the build tree. Findings land in <build>/fuzz/artifacts/<target>/.
#
# KOVA_FUZZ_BUILD_DIR picks another build tree of the host preset
# (default build/host).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [seconds-per-target [target...]]" >&2; exit 2 ;;
esac
[ $# -gt 0 ] && shift
wanted=" $* "
build="$(realpath -m "${KOVA_FUZZ_BUILD_DIR:-$root/build/host}")"
input_timeout="${KOVA_FUZZ_INPUT_TIMEOUT:-10}"

cd "$root"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset host -B "$build"
fi
cmake --build "$build" --target kova_fuzz -j2

list="$build/fuzz/fuzz_targets.txt"
if [ ! -s "$list" ]; then
  echo "fuzz.sh: no fuzz targets in $list (is the compiler clang?)" >&2
  exit 1
fi

failed=0
summary=()
while read -r target leaks; do
  [ -n "$target" ] || continue
  [ "$wanted" = "  " ] || [[ "$wanted" == *" $target "* ]] || continue
  exe="$build/fuzz/$target"
  work="$build/fuzz/corpus/$target"
  artifacts="$build/fuzz/artifacts/$target"
  log="$build/fuzz/logs/$target.log"
  seeds="$root/fuzz/corpus/$target"
  dict="$root/fuzz/dict/$target.dict"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"

  args=(-max_total_time="$seconds" -timeout="$input_timeout" -max_len=10239
        -rss_limit_mb=2048 -detect_leaks="$leaks" -print_final_stats=1
        -artifact_prefix="$artifacts/")
  [ -f "$dict" ] && args+=(-dict="$dict")
  corpora=("$work")
  [ -d "$seeds" ] && corpora+=("$seeds")

  echo "== $target: ${seconds}s (leak check: $leaks), log $log"
  status=0
  # The outer limit catches a run that libFuzzer itself cannot end.
  timeout --kill-after=30 $((seconds + 300)) \
    env ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=$leaks" \
    "$exe" "${args[@]}" "${corpora[@]}" >"$log" 2>&1 || status=$?

  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)"
  units="$(find "$work" -type f | wc -l)"
  if [ "$status" -eq 0 ] && ! grep -qE '^==[0-9]+==ERROR|^SUMMARY: ' "$log"; then
    result="ok"
  else
    result="FAILED (exit $status)"
    failed=1
    grep -E 'ERROR:|SUMMARY:|Test unit written|ALARM|out-of-memory|timeout' "$log" | head -n 20 || true
  fi
  summary+=("$target: $result, ${execs:-?} runs, ${rate:-?} exec/s, corpus $units")
done <"$list"

if [ ${#summary[@]} -eq 0 ]; then
  echo "fuzz.sh: no target named:$wanted" >&2
  exit 2
fi
echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
