#!/usr/bin/env python3
"""Times whole-process fetches, interleaved run by run: fetch_compare.py RUNS MISSIONS LABEL=CMD...
Empties the missions folder before every run; prints medians and the ratio to the last command."""
import os
import shutil
import statistics
import subprocess
import sys
import time


def empty(folder):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        else:
            os.remove(path)


def timed(command, folder):
    empty(folder)
    start = time.perf_counter()
    result = subprocess.run(command, shell=True)
    wall = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit("failed (%d): %s" % (result.returncode, command))
    if not any(name.lower().endswith(".mn3") for name in os.listdir(folder)):
        sys.exit("no mission after: %s" % command)
    return wall


def main():
    runs, folder = int(sys.argv[1]), sys.argv[2]
    commands = [arg.split("=", 1) for arg in sys.argv[3:]]
    walls = {label: [] for label, _ in commands}
    for _, command in commands:  # warm-up
        timed(command, folder)
    for _ in range(runs):
        for label, command in commands:
            walls[label].append(timed(command, folder))
    base = statistics.median(walls[commands[-1][0]])
    for label, _ in commands:
        wall = statistics.median(walls[label])
        print("  %-12s median wall %.3f s  ratio %.3f" % (label, wall, wall / base))


main()
