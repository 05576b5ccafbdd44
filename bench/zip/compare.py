#!/usr/bin/env python3
"""Times whole-process extraction by several commands on one archive, interleaved run by run so
that a change in machine load hits every command alike: compare.py RUNS OUTDIR LABEL=CMD...
Prints each command's median wall and CPU time and its ratio to the last command."""
import os
import shutil
import statistics
import subprocess
import sys
import time


def timed(command, outdir):
    shutil.rmtree(outdir, ignore_errors=True)
    start = time.perf_counter()
    proc = subprocess.Popen(command, shell=True)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("failed (%d): %s" % (proc.returncode, command))
    return wall, usage.ru_utime + usage.ru_stime


def main():
    runs, outdir = int(sys.argv[1]), sys.argv[2]
    commands = [arg.split("=", 1) for arg in sys.argv[3:]]
    walls = {label: [] for label, _ in commands}
    cpus = {label: [] for label, _ in commands}
    for label, command in commands:  # warm-up: page cache, binaries
        timed(command, outdir)
    for _ in range(runs):
        for label, command in commands:
            wall, cpu = timed(command, outdir)
            walls[label].append(wall)
            cpus[label].append(cpu)
    shutil.rmtree(outdir, ignore_errors=True)
    base = commands[-1][0]
    base_wall, base_cpu = statistics.median(walls[base]), statistics.median(cpus[base])
    for label, _ in commands:
        wall, cpu = statistics.median(walls[label]), statistics.median(cpus[label])
        print("  %-22s wall %7.3f s  cpu %7.3f s  wall ratio %.3f  cpu ratio %.3f" % (
            label, wall, cpu, wall / base_wall, cpu / base_cpu))


main()
