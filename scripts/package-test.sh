#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks it with lintian, unpacks it
# into a temporary folder and tries the unpacked programs there (the window under
# Xvfb, the Python module, bash completion). Nothing is installed into this
# machine unless ZARNIX_PACKAGE_INSTALL=1 (CI sets it): then the package is also
# installed, tried the same way where Debian puts it, its Python types checked by
# mypy and its pytest plugin found by pytest, purged, and checked to leave
# nothing behind.
# Usage: scripts/package-test.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
package=zarnix-controller
work=$(mktemp -d)
xvfb_pid=
installed=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  # A failed check leaves no package behind on the machine either.
  [ -n "$installed" ] && dpkg --purge "$package" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

# try ROOT: runs the package's programs as they lie under ROOT ("" once installed).
try() {
  local root=$1 pythonpath=
  [ -n "$root" ] && pythonpath=$root/usr/lib/python3/dist-packages
  "$root/usr/bin/zarnixctl" --version
  "$root/usr/bin/zarnix-controller" --version
  "$root/usr/bin/zarnixctl" --simulate show | head -3
  # The module, as Debian's python3 finds it, on the simulated camera.
  local module
  module=$(cd "$work" && env -u PYTHONPATH ${pythonpath:+PYTHONPATH=$pythonpath} /usr/bin/python3 -c '
import zarnix
with zarnix.open(simulate=True, virtual_clock=True) as camera:
    print(zarnix.__file__, zarnix._zarnix.__file__, zarnix.__version__, hex(camera.settings()["brightness"]))')
  echo "python3 -c 'import zarnix; ...': $module" >&2
  local version package_dir=$root/usr/lib/python3/dist-packages/zarnix
  version=$("$root/usr/bin/zarnixctl" --version | cut -d' ' -f2)
  [[ $module == "$package_dir/__init__.py $package_dir/_zarnix."*".so $version 0x80" ]] ||
    fail "the module under '${root:-/}' answers '$module'"
  # Completion offers the tool's own set-command names.
  local names
  names=$(bash -c 'source /usr/share/bash-completion/bash_completion
                   source "$1/usr/share/bash-completion/completions/zarnixctl"
                   COMP_WORDS=("$1/usr/bin/zarnixctl" set bri); COMP_CWORD=2
                   COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
                   _zarnixctl; echo "${COMPREPLY[@]}"' _ "$root")
  echo "completion of 'zarnixctl set bri': $names" >&2
  [ "$names" = brightness ] || fail "completion offers '$names' for 'set bri'"
  # The window, started as the desktop entry starts it, until its title shows; on
  # the X server itself: the test command's offscreen platform would show nothing there.
  local exec_line window_pid title
  exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$package.desktop")
  env -u QT_QPA_PLATFORM DISPLAY=$display "$root/usr/bin/$exec_line" 2>"$work/window.err" &
  window_pid=$!
  title=$(DISPLAY=$display timeout 60 xdotool search --sync --name ' - on ' getwindowname) || title=
  kill "$window_pid" 2>/dev/null || true
  wait "$window_pid" 2>/dev/null || true
  echo "window title: $title" >&2
  [[ $title == *" - on the simulated camera" ]] || { cat "$work/window.err" >&2; fail "no window title"; }
}

echo "== package" >&2
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/${package}_*_*.deb | head -1)
echo "$(basename "$deb"):" >&2
dpkg-deb -c "$deb" | awk '{print "  " $6}' >&2

echo "== lintian" >&2
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$work/lintian" >&2 || true
! grep -q '^E:' "$work/lintian" || fail "lintian reports errors"

echo "== desktop entry and manual pages" >&2
desktop-file-validate "$here/packaging/zarnix-controller.desktop" 2>&1 | grep -v '^$' >&2 || true
desktop-file-validate "$here/packaging/zarnix-controller.desktop" 2>&1 | grep -q 'error:' && fail "desktop entry invalid"
for page in zarnixctl zarnix-controller; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$build/packaging/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

display=:$((50 + RANDOM % 50))
Xvfb "$display" -screen 0 1400x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
DISPLAY=$display timeout 60 sh -c 'until xdotool getmouselocation >/dev/null 2>&1; do sleep 0.2; done'

echo "== the unpacked package" >&2
dpkg-deb -x "$deb" "$work/root"
try "$work/root"

if [ "${ZARNIX_PACKAGE_INSTALL:-}" != 1 ]; then
  echo "package test: checked unpacked; not installed (ZARNIX_PACKAGE_INSTALL=1 installs, tries and purges it)" >&2
  exit 0
fi

echo "== install" >&2
dpkg -i "$deb" >&2
installed=1
dpkg -L "$package" | while read -r path; do [ -d "$path" ] || echo "$path"; done > "$work/files"
try ""

echo "== the installed package's types and pytest plugin" >&2
mkdir "$work/readme"
/usr/bin/python3 - "$here/README.md" "$work/readme" <<'EOF_PROGRAMS'
import pathlib, re, sys
for k, program in enumerate(re.findall(r"```python\n(.*?)```", pathlib.Path(sys.argv[1]).read_text(), re.S)):
    pathlib.Path(sys.argv[2], f"readme{k}.py").write_text(program)
EOF_PROGRAMS
(cd "$work/readme" && env -u PYTHONPATH /usr/bin/python3 -m mypy --strict readme*.py >&2 &&
  env -u PYTHONPATH /usr/bin/python3 -m mypy.stubtest --allowlist "$here/python/stubtest-allowlist.txt" zarnix >&2) || fail "mypy on the installed package"
# Read pytest's help whole: grep -q would leave at the first match, and pytest's
# broken pipe would then fail the pipeline at random.
pytest_help=$(cd "$work" && env -u PYTHONPATH /usr/bin/python3 -m pytest -p no:cacheprovider --help) ||
  fail "pytest does not start with the installed package"
grep -q -- --zarnix-bus <<<"$pytest_help" || fail "pytest does not load the installed package's plugin"

echo "== remove" >&2
dpkg --purge "$package" >&2
installed=
left=()
while read -r path; do
  [ -e "$path" ] && left+=("$path")
done < "$work/files"
[ ${#left[@]} -eq 0 ] || fail "left after removal: ${left[*]}"
echo "package test: installed, tried and removed cleanly ($(wc -l < "$work/files") files)" >&2
