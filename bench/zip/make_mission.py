#!/usr/bin/env python3
"""Writes a folder of mission-like files: make_mission.py FOLDER MEGABYTES.

About half the bytes are sounds and textures (incompressible), the rest level data and text
(structured, repetitive, compressible), the way a Descent 3 mission pack looks."""
import os
import random
import sys


def level_data(rng, size):
    lines = []
    total = 0
    room = 0
    while total < size:
        room += 1
        for face in range(rng.randint(4, 12)):
            line = "room %d face %d verts %d %d %d %d tex wall%02d.ogf uv %.3f %.3f light %.2f\n" % (
                room, face, rng.randint(0, 4000), rng.randint(0, 4000), rng.randint(0, 4000),
                rng.randint(0, 4000), rng.randint(0, 40), rng.random(), rng.random(), rng.random())
            lines.append(line)
            total += len(line)
    return "".join(lines).encode()[:size]


def main():
    folder, megabytes = sys.argv[1], float(sys.argv[2])
    rng = random.Random(3)
    target = int(megabytes * 1024 * 1024)
    os.makedirs(os.path.join(folder, "sounds"), exist_ok=True)
    os.makedirs(os.path.join(folder, "textures"), exist_ok=True)
    written = 0
    index = 0
    while written < target:
        index += 1
        kind = index % 4
        if kind == 0:
            name, data = "sounds/sfx%03d.ogg" % index, os.urandom(rng.randint(100_000, 900_000))
        elif kind == 1:
            name, data = "textures/wall%03d.ogf" % index, os.urandom(rng.randint(65_000, 700_000))
        elif kind == 2:
            name, data = "level%03d.d3l" % index, level_data(rng, rng.randint(200_000, 2_000_000))
        else:
            name, data = "briefing%03d.txt" % index, level_data(rng, rng.randint(2_000, 60_000))
        data = data[: max(0, target - written)] or b"x"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        written += len(data)
    with open(os.path.join(folder, "mission.mn3"), "wb") as f:
        f.write(os.urandom(50_000))


main()
