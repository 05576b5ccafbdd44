#!/usr/bin/env bash
# Whole-process figures of the command-line mode:
#  1. fetching a ~50 MB mission from a local site (download, extract, delete the archive) with
#     torv, against curl + unzip + rm on the same files, interleaved run by run (goal: ratio <= 0.75);
#  2. headless, from process start to the banner line on standard output (goal: median < 50 ms).
# bench/app/run.sh [BUILD_DIR] (default: build); TORV_BENCH_RUNS sets the runs (default 7).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target torv >/dev/null
torv=$(realpath "$build/app/torv")
runs=${TORV_BENCH_RUNS:-7}

work=$(mktemp -d "${TMPDIR:-/tmp}/torv-fetch-bench.XXXXXX")
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/site/m" "$work/game/missions" "$work/config/Quillfen" "$work/home"
printf '#!/bin/sh\nexit 0\n' >"$work/game/main.exe"
chmod +x "$work/game/main.exe"
nice python3 bench/app/make_fetch_mission.py "$work/site/m/benchmission.zip" 50

python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site" >"$work/site.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*port \([0-9][0-9]*\).*/\1/p' "$work/site.log" | head -1)
    [ -n "$port" ] && break
    sleep 0.05
done
[ -n "$port" ] || { echo "the bench site did not start" >&2; exit 1; }

cat >"$work/config/Quillfen/torv.ini" <<INI
[settings]
D3 Executable Path=$work/game/
[MissionSites]
URL1=http://127.0.0.1:$port/m/
INI

export XDG_CONFIG_HOME="$work/config" WINEPREFIX="$work/wine" HOME="$work/home"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
echo "archive: $(($(stat -c %s "$work/site/m/benchmission.zip") / 1000000)) MB"
python3 bench/app/fetch_compare.py "$runs" "$work/game/missions" \
    "torv=$torv -getmission benchmission >/dev/null" \
    "curl+unzip=curl -s -o $work/game/missions/x.zip http://127.0.0.1:$port/m/benchmission.zip && unzip -o -q $work/game/missions/x.zip -d $work/game/missions && rm $work/game/missions/x.zip"
python3 bench/app/banner_latency.py "$torv" 50
