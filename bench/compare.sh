#!/usr/bin/env bash
# Runs the benchmarks of two builds in turn, in one stretch of the machine's load, and prints
# each benchmark's figures of both side by side (the first build's on the left).
#   bash bench/compare.sh BUILD_A BUILD_B [-r ROUNDS] [BENCH...]
# BUILD_A and BUILD_B are build folders (bench/ inside them holds the executables); BENCH names
# the benchmarks to run (bench_checkrun ...), by default every one that both builds have.
# With ROUNDS > 1 each benchmark runs that many times per build, A and B alternating, and
# every round is printed.
set -euo pipefail

usage() {
    echo "usage: $0 BUILD_A BUILD_B [-r ROUNDS] [BENCH...]" >&2
    exit 2
}
[ $# -ge 2 ] || usage
a=$1 b=$2
shift 2
rounds=1
if [ "${1:-}" = -r ]; then
    [ $# -ge 2 ] || usage
    rounds=$2
    shift 2
fi
for dir in "$a" "$b"; do
    [ -d "$dir/bench" ] || { echo "no bench/ in $dir" >&2; exit 2; }
done

benches=("$@")
if [ ${#benches[@]} -eq 0 ]; then
    for exe in "$a"/bench/bench_*; do
        name=$(basename "$exe")
        [ -x "$exe" ] && [ -f "$exe" ] && [ -x "$b/bench/$name" ] && benches+=("$name")
    done
fi
[ ${#benches[@]} -gt 0 ] || { echo "no benchmark found in both builds" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# As the tests do, the benchmarks get folders of their own and no desktop bus.
home=$out/home
mkdir -p "$home"/config "$home"/data "$home"/cache "$home"/runtime "$home"/tmp
chmod 700 "$home"/runtime
own_folders=(HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
             XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" TMPDIR="$home/tmp"
             DBUS_SESSION_BUS_ADDRESS=unix:path=/dev/null/no-bus
             QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}")

# One benchmark of one build; its output (errors included) to a file, its status after it.
run() {
    local build=$1 name=$2 file=$3
    local status=0
    env "${own_folders[@]}" "$build/bench/$name" >"$file" 2>&1 || status=$?
    [ $status -eq 0 ] || echo "(exit status $status)" >>"$file"
}

# Two outputs in two columns, each as wide as the longer's longest line.
beside() {
    local left=$1 right=$2 width
    width=$(cat "$left" "$right" | awk '{ if (length($0) > w) w = length($0) } END { print w + 0 }')
    awk -v w="$width" 'NR == FNR { l[FNR] = $0; n = FNR; next }
        { r[FNR] = $0; if (FNR > m) m = FNR }
        END { k = n > m ? n : m; for (i = 1; i <= k; i++) printf "%-*s | %s\n", w, l[i], r[i] }' \
        "$left" "$right"
}

echo "A: $a"
echo "B: $b"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for name in "${benches[@]}"; do
    for ((i = 1; i <= rounds; i++)); do
        run "$a" "$name" "$out/a"
        run "$b" "$name" "$out/b"
        echo
        echo "=== $name, round $i of $rounds (A | B) ==="
        beside "$out/a" "$out/b"
    done
done
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
