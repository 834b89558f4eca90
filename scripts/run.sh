#!/usr/bin/env bash
# Installs what is missing, builds, and runs the control panel on its simulated camera.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" "$here/build"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: showing the simulated camera's settings on the terminal instead." >&2
  exec "$here/build/cli/zarnix-demo"
fi
exec "$here/build/app/zarnix-controller" --simulate "$@"
