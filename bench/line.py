#!/usr/bin/python3
"""A production line on the real clock: `zarnixctl load --all` on 1, 2, 4, 8 and
16 simulated cameras at once. Prints, for each count, the run's wall time against
one camera's, the shortest pause any worker made against the protocol's (every
gap between two transactions of each camera's trace, divided by the same gap on
the virtual clock, where the gaps are exactly the mandated pauses), and the CPU
time the whole run used.

Usage: bench/line.py [--quick]   (--quick: 1, 2 and 4 cameras, Eeprom block only)
BUILD_DIR (default build) says where zarnixctl is.
"""

import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(HERE, "build")))
TOOL = os.path.join(BUILD, "cli", "zarnixctl")
TIME = re.compile(r"^\s*([0-9.]+) ms  (\w+)\(")


def transactions(path):
    """The time of every transaction (its IICInit) in a trace, in ms."""
    with open(path) as trace:
        return [float(m.group(1)) for m in map(TIME.match, trace) if m and m.group(2) == "IICInit"]


def run(args, cwd):
    """Runs zarnixctl; returns its wall time and the CPU time it used, in s."""
    start = time.monotonic()
    child = subprocess.Popen([TOOL] + args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    err = child.stderr.read().decode()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"line.py: zarnixctl {' '.join(args)} failed:\n{err}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    quick = "--quick" in sys.argv[1:]
    counts = [1, 2, 4] if quick else [1, 2, 4, 8, 16]
    blocks = [] if quick else ["--all"]
    if not os.access(TOOL, os.X_OK):
        sys.exit(f"line.py: {TOOL} is missing; build with scripts/build.sh build")
    with tempfile.TemporaryDirectory(prefix="zarnix-line-") as work:
        run(["--sim-clock", "virtual", "--sim-state", "source.state", "dump", "line.qcs"] + blocks, work)
        run(["--sim-clock", "virtual", "--sim-state", "virtual.state", "--trace", "virtual.trace", "-y", "load",
             "line.qcs"] + blocks, work)
        mandated = transactions(os.path.join(work, "virtual.trace"))
        gaps = [b - a for a, b in zip(mandated, mandated[1:])]
        print(f"zarnixctl {' '.join(['load', 'line.qcs'] + blocks)} -y on simulated cameras at once, real clock "
              f"({len(mandated)} transactions a camera, {mandated[-1] / 1000:.1f} s of pauses)")
        print(f"{'cameras':>7}  {'wall s':>8}  {'x one':>6}  {'shortest pause':>14}  {'CPU s':>6}")
        one = None
        for count in counts:
            states = []
            for k in range(count):
                state = f"cam{k:02d}.state"
                open(os.path.join(work, state), "w").close()  # a camera fresh from the factory
                states += ["--sim-state", state]
            wall, cpu = run(states + ["--trace", "run-{camera}.trace", "-y", "load", "line.qcs"] + blocks, work)
            one = one or wall
            shortest = float("inf")
            for k in range(count):
                times = transactions(os.path.join(work, f"run-cam{k:02d}.trace"))
                if len(times) != len(mandated):
                    sys.exit(f"line.py: camera {k} made {len(times)} transactions, not {len(mandated)}")
                for gap, (a, b) in zip(gaps, zip(times, times[1:])):
                    if gap >= 1.0:
                        shortest = min(shortest, (b - a) / gap)
            print(f"{count:>7}  {wall:>8.2f}  {wall / one:>6.4f}  {shortest:>14.4f}  {cpu:>6.2f}")


if __name__ == "__main__":
    main()
