#!/usr/bin/env bash
# Installs what is missing, then builds twice and runs every test (headless) on each build:
#   build/       Release, warnings as errors
#   build-asan/  Debug with AddressSanitizer and UndefinedBehaviorSanitizer (programs and tests)
# Prints the time of each stage.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs="$(nproc)"
# ccache keys on paths relative to the checkout, so another checkout of the same sources hits too.
export CCACHE_BASEDIR="$root"
export QT_QPA_PLATFORM=offscreen

begin=$SECONDS
stage() {
  local name="$1" t=$SECONDS
  shift
  echo "=== $name"
  "$@"
  echo "=== $name: $((SECONDS - t)) s"
}
release_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DNORDALIS_WERROR=ON -DNORDALIS_SANITIZE=OFF >/dev/null
  cmake --build build -j"$jobs"
}
release_tests() {
  (cd build && ctest --output-on-failure -j"$jobs" --timeout 300)
}
asan_build() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNORDALIS_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$jobs"
}
# Every error stops the program that has it (a test, or the CLI or desktop program a test starts);
# leaks are reported too, except those inside system libraries (.ci/lsan.supp).
asan_tests() {
  (cd build-asan &&
   ASAN_OPTIONS=detect_leaks=1 \
   LSAN_OPTIONS="suppressions=$root/.ci/lsan.supp:print_suppressions=0" \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j"$jobs" --timeout 900)
}

stage "dependencies" scripts/install-deps.sh
stage "Release build (warnings as errors)" release_build
stage "Release tests" release_tests
stage "sanitizer build (Debug, address + undefined)" asan_build
stage "sanitizer tests" asan_tests
echo "=== all stages: $((SECONDS - begin)) s"
