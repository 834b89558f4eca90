#!/usr/bin/env python3
"""Two simulated cameras from two Python threads, on the real clock.

The module lets go of the GIL during bus work, so two threads that each drive
a camera should take the time of one; one thread that drives both takes the
time of two. Each camera reads its live settings back (44 reads, 3.52 s of
protocol pauses). Run with the built module on PYTHONPATH (bench/run.sh does):

    PYTHONPATH=build/python bench/python_threads.py --runs 3
"""
import argparse
import statistics
import threading
import time

import zarnix

MANDATED_S = 44 * 0.040 * 2  # per read-back: a 40 ms pause in each read and after each pass


def timed(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def in_threads(cameras):
    threads = [threading.Thread(target=camera.settings) for camera in cameras]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3, help="runs of each, the median is shown (default 3)")
    runs = parser.parse_args().runs
    cameras = [zarnix.open(simulate=True) for _ in range(2)]
    ways = {
        "one camera": lambda: cameras[0].settings(),
        "two cameras, one thread": lambda: [camera.settings() for camera in cameras],
        "two cameras, two threads": lambda: in_threads(cameras),
    }
    times = {name: statistics.median(timed(work) for _ in range(runs)) for name, work in ways.items()}
    print(f"Read-back of the live settings, median of {runs} runs (mandated {MANDATED_S:.3f} s a camera):")
    print("| run | wall s | vs one camera |")
    print("|---|---|---|")
    for name, seconds in times.items():
        print(f"| {name} | {seconds:.3f} | {seconds / times['one camera']:.3f} |")
    for camera in cameras:
        camera.close()


if __name__ == "__main__":
    main()
