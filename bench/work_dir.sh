# Sourced by the benchmark scripts: bench_work_dir NAME makes and prints a fresh work folder.
# In memory when the machine offers it: on a disk file system every run's deleted files make the next
# run's file creation scan past them (ext4 keeps recently deleted inodes out of reuse), a cost that
# grows run by run and swamps the tools' own differences. TORV_BENCH_DIR chooses another place.
bench_work_dir() {
    local dir=${TORV_BENCH_DIR:-/dev/shm}
    [ -d "$dir" ] && [ -w "$dir" ] || dir=${TMPDIR:-/tmp}
    mktemp -d "$dir/$1.XXXXXX"
}
