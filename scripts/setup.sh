#!/usr/bin/env bash
# setup.sh [run|test]: installs, from Debian's packages, whatever building and
# running the programs needs ("run"), or that and what the tests, the package
# check, the Python types (mypy and its stubtest), the window under Xvfb, the emulated i2c-dev buses (umockdev, with
# i2c-tools as a second program on them) and the fuzzers need ("test", the
# default). Runs apt-get only when something is missing.
set -euo pipefail
profile=${1:-test}

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools fonts-dejavu-core nlohmann-json3-dev
  pybind11-dev python3-dev
)
if [ "$profile" = test ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    help2man lintian desktop-file-utils bash-completion xvfb xdotool
    clang-14 libclang-rt-14-dev
    python3-pytest mypy
    umockdev libumockdev-dev i2c-tools
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
