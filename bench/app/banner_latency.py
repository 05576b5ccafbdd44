#!/usr/bin/env python3
"""Headless start-up: time from process start to the banner line on stdout.
banner_latency.py TORV RUNS"""
import statistics
import subprocess
import sys
import time


def main():
    torv, runs = sys.argv[1], int(sys.argv[2])
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        proc = subprocess.Popen([torv, "-getmission", "nothing-at-all"], stdout=subprocess.PIPE)
        line = proc.stdout.readline()
        times.append(time.perf_counter() - start)
        proc.stdout.read()
        proc.wait()
        if not line.startswith(b"Torvane Auto-download Tool by Quillfen."):
            sys.exit("unexpected first line: %r" % line)
    times.sort()
    print("  banner after start: median %.1f ms, min %.1f ms, max %.1f ms (%d runs)" % (
        statistics.median(times) * 1000, times[0] * 1000, times[-1] * 1000, runs))


main()
