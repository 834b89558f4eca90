#!/usr/bin/env bash
# emulated-bus.sh [BUILD_DIR] -- COMMAND [ARGS...]: runs COMMAND on an emulated
# USB-to-I2C bridge, /dev/i2c-3, with the simulated camera behind it, as it
# would run on a real one; nothing outside the command sees the bus. Needs a
# build with the tests (scripts/build.sh build -DZARNIX_BUILD_TESTS=ON) and
# umockdev (scripts/setup.sh test). Example:
#   scripts/emulated-bus.sh -- build/cli/zarnixctl search
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
if [ $# -gt 0 ] && [ "$1" != -- ]; then build=$1; shift; fi
[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] || { echo "usage: $0 [BUILD_DIR] -- COMMAND [ARGS...]" >&2; exit 2; }
demo=$build/tests/zarnix-emulated-bus
[ -x "$demo" ] || { echo "$demo is missing: build with -DZARNIX_BUILD_TESTS=ON and umockdev installed" >&2; exit 1; }
exec umockdev-wrapper "$demo" "$@"
