#!/usr/bin/env bash
# Times extracting whole archives with the reader (zip_extract: 1024-byte reads, and whole
# entries) against Info-ZIP `unzip -o -q` and `bsdtar -xf`, whole process, interleaved run by run,
# and prints the time ratios to unzip. Goal for whole entries: faster than bsdtar.
# bench/zip/run.sh [BUILD_DIR] (default: build); TORV_BENCH_RUNS sets the runs (default 5).
# Needs zip, unzip, bsdtar and python3.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target zip_extract >/dev/null
extract=$(realpath "$build/bench/zip/zip_extract")
runs=${TORV_BENCH_RUNS:-5}

source bench/work_dir.sh
work=$(bench_work_dir torv-zip-bench)
trap 'rm -rf "$work"' EXIT

make_archive() {  # name megabytes level
    nice python3 bench/zip/make_mission.py "$work/src-$1" "$2"
    (cd "$work/src-$1" && nice zip -q -r "-$3" "$work/$1.zip" .)
    rm -rf "$work/src-$1"
}
echo "making archives in $work"
make_archive mixed30 30 6
make_archive mixed300 300 6
make_archive stored100 100 0

out="$work/out"
for row in mixed30:0.67 mixed300:0.67 stored100:0.25; do
    name=${row%%:*}
    archive="$work/$name.zip"
    # Both tools must produce the same files.
    "$extract" "$archive" "$out"
    "$extract" -w "$archive" "$out-whole"
    unzip -o -q "$archive" -d "$out-ref"
    diff -r "$out" "$out-ref" >/dev/null || { echo "$name: outputs differ" >&2; exit 1; }
    diff -r "$out-whole" "$out-ref" >/dev/null || { echo "$name: outputs differ" >&2; exit 1; }
    rm -rf "$out-whole"
    echo "$name: archive $(($(stat -c %s "$archive") / 1000000)) MB," \
        "data $(($(du -sb "$out" | cut -f1) / 1000000)) MB, goals: reader wall ratio <= ${row##*:}," \
        "whole entries below bsdtar"
    rm -rf "$out" "$out-ref"
    nice python3 bench/zip/compare.py "$runs" "$out" \
        "reader, 256K out buf=$extract -b 262144 $archive $out" \
        "reader, stdio out buf=$extract $archive $out" \
        "reader, whole entries=$extract -w $archive $out" \
        "bsdtar=mkdir -p $out && bsdtar -xf $archive -C $out" \
        "unzip=unzip -o -q $archive -d $out"
done
