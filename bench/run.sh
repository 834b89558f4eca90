#!/usr/bin/env bash
# run.sh [--quick]: runs every benchmark and prints its tables: the pauses' timing
# fidelity, our own cost per transaction and per settings file, several cameras at
# once, the window's start-up and both programs' peak memory, two cameras from two
# Python threads. Build first (scripts/build.sh build); BUILD_DIR (default build)
# says where the programs are. The full run takes about 25 minutes, nearly all of
# it the three timing runs and the five runs on several cameras; --quick about 5.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
quick=()
[ "${1:-}" = "--quick" ] && quick=(--quick)

for program in zarnix_timing zarnix_cost zarnix_startup; do
  if [ ! -x "$build/bench/$program" ]; then
    echo "run.sh: $build/bench/$program is missing; build with scripts/build.sh build" >&2
    exit 1
  fi
done

echo "== Timing fidelity of the protocol's pauses"
BUILD_DIR=$build "$here/bench/timing.sh" "${quick[@]}"
echo
echo "== Cost of our own code (settings files on $build's disk)"
# The settings file is written where the operator's files would be, with its fsyncs.
TMPDIR=$build "$build/bench/zarnix_cost" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_display_aggregates_only=true 2>&1 | grep -v -e '_mean ' -e '_stddev ' -e '_cv '
echo
echo "== Cost of the settings file on tmpfs (no disk behind its fsyncs)"
TMPDIR=/dev/shm "$build/bench/zarnix_cost" --benchmark_filter=SettingsFile --benchmark_repetitions=3 \
  --benchmark_display_aggregates_only=true 2>&1 | grep -e '_median ' -e '^Benchmark'
echo
echo "== A production line: load on several simulated cameras at once"
BUILD_DIR=$build /usr/bin/python3 "$here/bench/line.py" "${quick[@]}"
echo
echo "== Start-up and memory"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/zarnix_startup"
echo
echo "== Two cameras from two Python threads"
if compgen -G "$build/python/zarnix/_zarnix.*.so" >/dev/null; then
  PYTHONPATH=$build/python /usr/bin/python3 "$here/bench/python_threads.py"
else
  echo "(no Python module in $build: built with ZARNIX_BUILD_PYTHON=OFF)"
fi
