#!/usr/bin/env bash
# What CI runs (.ci/run) and the README's test command. Installs what the tests
# need, then runs the stages from fast to slow, stopping at the first that fails:
#
#   format     clang-format --dry-run --Werror over every C++ file
#   build      the ci preset: warnings as errors
#   unit       ctest -L unit: the QtTest suite, offscreen
#   e2e        ctest -L e2e: the real program on Xvfb, on Weston, on xfce4-panel
#              and on GNOME Shell
#   sanitizers the whole suite again under AddressSanitizer, LeakSanitizer, UBSan
#   fuzz       a minute of coverage-guided fuzzing of the feed decoder
#   package    tests/package/package_test.sh: the .deb packed, installed, run, removed
#
# Each stage prints its time as it ends; the last line counts the stages that
# passed and failed, and the exit status is non-zero if one failed.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
passed=0
failed=0

stage() { # name, command...
  local name=$1 start=$SECONDS status
  shift
  echo "=== $name"
  "$@"
  status=$?
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "=== $name: passed in $((SECONDS - start)) s"
  else
    failed=$((failed + 1))
    echo "=== $name: FAILED (exit $status) after $((SECONDS - start)) s"
    echo "$passed passed, $failed failed"
    exit 1
  fi
}

format() { git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; }
build() { cmake --preset ci && cmake --build --preset ci --parallel "$jobs"; }
sanitizers() {
  cmake --preset asan && cmake --build --preset asan --parallel "$jobs" \
    && ctest --preset asan --parallel "$jobs"
}

stage install bash scripts/install-deps.sh
stage format format
stage build build
stage unit ctest --preset ci -L unit --parallel "$jobs"
stage e2e ctest --preset ci -L e2e
stage sanitizers sanitizers
stage fuzz bash scripts/fuzz.sh 60
stage package bash tests/package/package_test.sh
echo "$passed passed, $failed failed"
