#!/usr/bin/env bash
# Whole-process figures of the command-line mode:
#  1. fetching missions from a local site (download, extract, delete the archive) with torv,
#     against curl + unzip + rm on the same files, interleaved run by run, medians of wall and
#     CPU (user + sys) time: a ~50 MB mission in one entry (goal: ratio <= 0.75), and missions of
#     many sounds, textures and levels, 300 MB (goal: ratio <= 0.40) and 30 MB (goal: <= 0.60);
#  2. headless, from process start to the banner line on standard output (goal: median < 50 ms).
# bench/app/run.sh [BUILD_DIR] (default: build); TORV_BENCH_RUNS sets the runs (default 7).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target torv >/dev/null
torv=$(realpath "$build/app/torv")
runs=${TORV_BENCH_RUNS:-7}

source bench/work_dir.sh
work=$(bench_work_dir torv-fetch-bench)
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
# Mission packs of many files, flat as they land in the missions folder, deflated at level 6.
make_pack() {  # name megabytes
    nice python3 bench/zip/make_mission.py "$work/src-$1" "$2"
    mv "$work/src-$1/mission.mn3" "$work/src-$1/$1.mn3"
    (cd "$work/src-$1" && nice zip -q -r -j -6 "$work/site/m/$1.zip" .)
    rm -rf "$work/src-$1"
}
make_pack pack300 300
make_pack pack30 30

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
for mission in benchmission pack300 pack30; do
    echo "$mission: archive $(($(stat -c %s "$work/site/m/$mission.zip") / 1000000)) MB," \
        "load average $(cut -d' ' -f1 /proc/loadavg)"
    python3 bench/app/fetch_compare.py "$runs" "$work/game/missions" \
        "torv=$torv -getmission $mission >/dev/null" \
        "curl+unzip=curl -s -o $work/game/missions/x.zip http://127.0.0.1:$port/m/$mission.zip && unzip -o -q $work/game/missions/x.zip -d $work/game/missions && rm $work/game/missions/x.zip"
done
python3 bench/app/banner_latency.py "$torv" 50
