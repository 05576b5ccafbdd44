#!/usr/bin/env python3
"""Times whole-process fetches, interleaved run by run: fetch_compare.py RUNS MISSIONS LABEL=CMD...
Empties the missions folder before every run; prints medians of wall time and of CPU time (user +
sys of the command and everything it waited for) and their ratios to the last command. On a shared
machine the CPU ratio is the steadier one."""
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
    proc = subprocess.Popen(command, shell=True)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit("failed (%d): %s" % (code, command))
    if not any(name.lower().endswith(".mn3") for name in os.listdir(folder)):
        sys.exit("no mission after: %s" % command)
    return wall, usage.ru_utime + usage.ru_stime


def main():
    runs, folder = int(sys.argv[1]), sys.argv[2]
    commands = [arg.split("=", 1) for arg in sys.argv[3:]]
    walls = {label: [] for label, _ in commands}
    cpus = {label: [] for label, _ in commands}
    for _, command in commands:  # warm-up
        timed(command, folder)
    for _ in range(runs):
        for label, command in commands:
            wall, cpu = timed(command, folder)
            walls[label].append(wall)
            cpus[label].append(cpu)
    base_wall = statistics.median(walls[commands[-1][0]])
    base_cpu = statistics.median(cpus[commands[-1][0]])
    for label, _ in commands:
        wall, cpu = statistics.median(walls[label]), statistics.median(cpus[label])
        print("  %-12s median wall %.3f s  ratio %.3f   cpu %.3f s  ratio %.3f" % (
            label, wall, wall / base_wall, cpu, cpu / base_cpu))


main()
