#!/usr/bin/env bash
# timing.sh [--quick] [--runs N] [--only NAME]: how closely the real clock keeps the
# camera protocol's pauses, as a table. The full set takes about 4 minutes a run
# (File to camera with all blocks alone about 107 s); --quick leaves out the three
# long operations. BUILD_DIR (default build) says where the programs are.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
exec "$build/bench/zarnix_timing" "$@"
