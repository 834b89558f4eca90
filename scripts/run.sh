#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program on its simulated camera.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" "$here/build"
exec "$here/build/cli/zarnix-demo" "$@"
