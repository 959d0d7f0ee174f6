#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. With
# SANITIZER_PASS=1 (as CI runs it) it then builds the program and the core and
# end-to-end tests again with AddressSanitizer and UndefinedBehaviorSanitizer
# (in $BUILD_DIR-address) and runs those tests there, the library fuzz test
# included.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export QT_QPA_PLATFORM=offscreen

# What the sanitizer pass builds and runs: every test of the core modules, the
# end-to-end tests of the command (tests/app/headless_*) and the library fuzz
# test. The tray's pixel and window tests, the Linux platform parts, the tools
# and the packaging run in the normal build only: under the sanitizers they
# would double the time of CI and exercise little of our own code that the
# end-to-end tests do not.
sanitized_tests='^test_((base|model|sqlite|metadata|sync|exporter|fuzz)_|app_headless_)'
# The same tests for CTest: by label (the module), and in tests/app only the
# headless ones. A test program that was not built stands in CTest as
# NAME_NOT_BUILT; an old one from an earlier build of all tests is left out.
sanitized_labels='^(base|model|sqlite|metadata|sync|exporter|fuzz|app)$'
unsanitized_suites='_NOT_BUILT$|^(ExporterApp|ExporterMenu|FailureNotificationPolicy|FreedesktopNotifications|RegistrationMark|StatusColour|SingleInstance)'

# The fuzz test leaves its report there; an old one must not stand for a new run.
fuzz_report() {
  local report=$1/test-output/library-fuzz.txt
  [ -f "$report" ] && grep -E "^(Damaged libraries tried|  FAULT)" "$report" || true
}

run_tests() {
  local dir=$1
  shift
  rm -f "$dir/test-output/library-fuzz.txt"
  local status=0
  ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" --timeout 600 "$@" ||
    status=$?
  echo "Library fuzz run ($dir):"
  fuzz_report "$dir"
  return $status
}

# The test programs of the sanitizer pass, as Ninja names them.
sanitized_targets() {
  ninja -C "$1" -t targets all | sed -n 's/^\(test_[a-z0-9_]*\): phony$/\1/p' |
    grep -E "$sanitized_tests"
}

SANITIZE= BUILD_DIR=$build bash "$root/scripts/build.sh"
run_tests "$build"

if [ "${SANITIZER_PASS:-0}" = 1 ]; then
  sanitized=$build-address
  echo "Sanitizer pass: AddressSanitizer + UndefinedBehaviorSanitizer in $sanitized"
  echo "  runs the core tests, the end-to-end tests of the command and the library fuzz test;"
  echo "  the tray's GUI tests, the platform, tools and packaging tests ran in the normal build only"
  SANITIZE=address BENCHMARKS=OFF BUILD_DIR=$sanitized bash "$root/scripts/build.sh" \
    --target lumenfolio-exporter lumenfolio-sample-library lumenfolio-library-fuzz
  # shellcheck disable=SC2046 # one target per word
  cmake --build "$sanitized" --parallel "$(nproc)" --target $(sanitized_targets "$sanitized")
  run_tests "$sanitized" --label-regex "$sanitized_labels" --exclude-regex "$unsanitized_suites"
fi
