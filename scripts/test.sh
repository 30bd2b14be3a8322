#!/usr/bin/env bash
# Installs what the tests need, builds everything with warnings as errors and
# runs the whole test suite. This is what CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Formatting is part of the build: the same .clang-format for everyone.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

cmake --preset ci
cmake --build --preset ci --parallel "$(nproc)"

# The same suite again under AddressSanitizer, LeakSanitizer and UBSan (gcc).
stage_start=$SECONDS
cmake --preset asan
cmake --build --preset asan --parallel "$(nproc)"
ctest --preset asan --parallel "$(nproc)"
echo "asan stage took $((SECONDS - stage_start))s"

# A minute of coverage-guided fuzzing of the feed decoder (clang, libFuzzer).
stage_start=$SECONDS
bash scripts/fuzz.sh 60
echo "fuzz stage took $((SECONDS - stage_start))s"

# The .deb: packed, validated, installed with apt, run from /usr/bin, removed.
stage_start=$SECONDS
bash scripts/package-test.sh
echo "package stage took $((SECONDS - stage_start))s"

# The suite itself last, so the run ends with its summary.
ctest --preset ci --parallel "$(nproc)"
