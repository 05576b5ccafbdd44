#!/usr/bin/env python3
"""Writes a mission archive as sites publish them: make_fetch_mission.py ZIP MEGABYTES.

The mission file holds about half incompressible data (sounds, textures) and half level data
(structured, compressible), deflated at level 6 with a readme beside it."""
import random
import sys
import zipfile


def main():
    path, megabytes = sys.argv[1], float(sys.argv[2])
    rng = random.Random(7)
    size = int(megabytes * 1024 * 1024)
    parts = []
    total = 0
    while total < size:
        if rng.random() < 0.5:
            chunk = rng.randbytes(256 * 1024)
        else:
            chunk = "".join(
                "room %d face %d verts %d %d %d tex wall%02d.ogf light %.2f\n"
                % (rng.randint(0, 900), rng.randint(0, 12), rng.randint(0, 4000),
                   rng.randint(0, 4000), rng.randint(0, 4000), rng.randint(0, 40), rng.random())
                for _ in range(4000)).encode()
        parts.append(chunk)
        total += len(chunk)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr("benchmission.mn3", b"".join(parts)[:size])
        z.writestr("benchmission.txt", "A mission for measuring fetches.\n" * 100)


main()
