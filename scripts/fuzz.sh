#!/usr/bin/env bash
# Fuzzes the feed decoder with libFuzzer for SECONDS (default 60): installs what
# it needs, builds the fuzz preset (clang, ASan, UBSan), seeds a scratch corpus
# from tests/data and fuzz/seeds, and fails on any crash, leak, timeout or
# broken invariant. A failing input is kept in build/fuzz/artifacts/.
#
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

bash scripts/install-deps.sh

cmake --preset fuzz
cmake --build --preset fuzz --parallel "$(nproc)"

fuzzer=build/fuzz/fuzz/decode_fuzzer
artifacts=build/fuzz/artifacts
log=build/fuzz/decode_fuzzer.log
mkdir -p "$artifacts"

# The corpus grows as the fuzzer runs; keep the checked-in seeds untouched.
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp tests/data/*.json fuzz/seeds/* "$corpus"/

if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

echo "fuzzing the feed decoder for ${seconds}s ($(ls "$corpus" | wc -l) seeds)"
status=0
"$fuzzer" "$corpus" \
  -max_total_time="$seconds" \
  -dict=fuzz/feed.dict \
  -max_len=65536 \
  -timeout=10 \
  -print_final_stats=1 \
  -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?

grep -E '^(INFO: Seed|Done [0-9]+ runs|stat::)' "$log" || true
if [ "$status" -ne 0 ]; then
  echo "decode_fuzzer failed (exit $status); the end of $log:" >&2
  tail -n 80 "$log" >&2
  exit "$status"
fi
# libFuzzer counts every input it ran, seeds included.
executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
echo "decode_fuzzer: ${executions:-?} executions in ${seconds}s, no failures"
