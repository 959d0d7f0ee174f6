#!/usr/bin/env bash
# Configures and builds the project in ./build (or $BUILD_DIR).
# SANITIZE=address|thread builds with sanitizers; in CI (CI set) warnings are errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bash "$root/scripts/install-deps.sh"
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
  -DLUMENFOLIO_WERROR="${WERROR:-$werror}" -DLUMENFOLIO_SANITIZE="${SANITIZE:-}" \
  -DLUMENFOLIO_BUILD_BENCHMARKS="${BENCHMARKS:-ON}" >/dev/null
cmake --build "$build" --parallel "$(nproc)" "$@"
