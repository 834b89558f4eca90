#!/usr/bin/env bash
# Installs what building and running need, builds the programs, and runs the
# control panel on its simulated camera.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" run
"$here/scripts/build.sh" "$here/build" -DZARNIX_BUILD_TESTS=OFF -DZARNIX_BUILD_BENCH=OFF
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: showing the simulated camera's settings on the terminal instead." >&2
  exec "$here/build/cli/zarnixctl" --simulate show
fi
exec "$here/build/app/zarnix-controller" --simulate "$@"
