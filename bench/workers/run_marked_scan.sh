#!/usr/bin/env bash
# Times one whole-process run of the marked scan over a 200 MB file against one run of
# `LC_ALL=C grep -a -c URL` on the same file: run_marked_scan.sh [BENCH_BINARY] [MEGABYTES].
# The goal is a time ratio of at most 2.0.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/bench_marked_scan}
megabytes=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/pack.hog"
"$bench" make "$file" "$megabytes"
cat "$file" >/dev/null  # both runs read from the page cache

now() { date +%s.%N; }

start=$(now)
LC_ALL=C grep -a -c URL "$file" >"$work/grep.out" || true
grep_s=$(echo "$(now) - $start" | bc -l)

start=$(now)
QT_QPA_PLATFORM=offscreen "$bench" scan "$file" >"$work/scan.out"
scan_s=$(echo "$(now) - $start" | bc -l)

echo "file:        $megabytes MB"
echo "grep -c URL: $(cat "$work/grep.out") lines, $(printf '%.3f' "$grep_s") s"
echo "scan:        $(cat "$work/scan.out")"
echo "scan process: $(printf '%.3f' "$scan_s") s"
echo "time ratio (scan / grep): $(printf '%.2f' "$(echo "$scan_s / $grep_s" | bc -l)") (goal <= 2.0)"
