#!/usr/bin/env bash
# fuzz.sh [seconds-per-target]: builds the libFuzzer targets (clang, in build-fuzz)
# and runs each over its seed corpus in fuzz/corpus/ for the given time (default
# 20 s). New inputs go to a temporary folder, never into the tree. Fails when any
# target crashes, leaks, times out or reports a sanitizer error; the failing
# input is then kept in the temporary folder, whose path is printed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=${ZARNIX_FUZZ_BUILD:-$here/build-fuzz}
cxx=${ZARNIX_FUZZ_CXX:-clang++-14}

# target and the longest input worth trying: the files get room for a whole file,
# the arguments stay short so the fuzzer spends its time on what matters.
targets=(
  "fuzz_settings_file 8192"
  "fuzz_sim_state 16384"
  "fuzz_cli_options 512"
)

cmake -S "$here" -B "$build" -G Ninja -DZARNIX_FUZZ=ON -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARNIX_BUILD_TESTS=OFF -DZARNIX_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target zarnix_fuzzers -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

work=$(mktemp -d "${TMPDIR:-/tmp}/zarnix-fuzz.XXXXXX")
failed=()
for entry in "${targets[@]}"; do
  read -r target max_len <<<"$entry"
  binary=$build/fuzz/$target
  if [ ! -x "$binary" ]; then
    echo "== $target: not built" >&2
    failed+=("$target")
    continue
  fi
  mkdir -p "$work/$target/new" "$work/$target/artifacts"
  dict=()
  [ -f "$here/fuzz/dict/$target.dict" ] && dict=(-dict="$here/fuzz/dict/$target.dict")
  echo "== $target: ${seconds} s" >&2
  # The temporary folder comes first: libFuzzer adds what it finds to the first one.
  if "$binary" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
      "${dict[@]}" -artifact_prefix="$work/$target/artifacts/" \
      "$work/$target/new" "$here/fuzz/corpus/$target" >"$work/$target/log" 2>&1; then
    # The fuzzer's own closing lines: executions, speed, coverage.
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
      "$work/$target/log" | sed "s/^/   /" >&2
  else
    echo "== $target FAILED; log and input in $work/$target" >&2
    tail -n 40 "$work/$target/log" >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
rm -rf "$work"
echo "fuzzing: every target ran clean" >&2
