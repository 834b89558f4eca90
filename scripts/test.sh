#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build,
# once more under AddressSanitizer and UndefinedBehaviorSanitizer, and zarnixctl's
# tests, whose runs on several cameras have a thread a camera, under ThreadSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" test

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== build and test" >&2
"$here/scripts/build.sh" "$here/build" -DZARNIX_BUILD_TESTS=ON -DZARNIX_BUILD_BENCH=ON
ctest --test-dir "$here/build" --output-on-failure -j "$(nproc)"

echo "== the Debian package: lintian, the unpacked programs (installed only with ZARNIX_PACKAGE_INSTALL=1)" >&2
"$here/scripts/package-test.sh" "$here/build"

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer" >&2
"$here/scripts/build.sh" "$here/build-asan" -DZARNIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir "$here/build-asan" --output-on-failure -j "$(nproc)"

echo "== zarnixctl's runs on several cameras under ThreadSanitizer" >&2
"$here/scripts/build.sh" "$here/build-tsan" -DZARNIX_SANITIZE_THREADS=ON -DCMAKE_BUILD_TYPE=Debug \
  -DZARNIX_BUILD_GUI=OFF -DZARNIX_BUILD_PYTHON=OFF
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$here/build-tsan" --output-on-failure -j "$(nproc)" -R '^Zarnixctl'

echo "== fuzz every outside input, 20 s a target" >&2
"$here/scripts/fuzz.sh" 20
