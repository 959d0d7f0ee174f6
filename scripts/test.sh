#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. With
# SANITIZER_PASS=1 it then builds again with AddressSanitizer and
# UndefinedBehaviorSanitizer (in $BUILD_DIR-address) and runs the tests again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export QT_QPA_PLATFORM=offscreen

# The fuzz test leaves its report there; an old one must not stand for a new run.
fuzz_report() {
  local report=$1/test-output/library-fuzz.txt
  [ -f "$report" ] && grep -E "^(Damaged libraries tried|  FAULT)" "$report" || true
}

run_tests() {
  local dir=$1
  rm -f "$dir/test-output/library-fuzz.txt"
  local status=0
  ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 300 || status=$?
  echo "Library fuzz run ($dir):"
  fuzz_report "$dir"
  return $status
}

SANITIZE= BUILD_DIR=$build bash "$root/scripts/build.sh"
run_tests "$build"

if [ "${SANITIZER_PASS:-0}" = 1 ]; then
  sanitized=$build-address
  echo "Building with AddressSanitizer and UndefinedBehaviorSanitizer in $sanitized"
  SANITIZE=address BENCHMARKS=OFF BUILD_DIR=$sanitized bash "$root/scripts/build.sh"
  run_tests "$sanitized"
fi
