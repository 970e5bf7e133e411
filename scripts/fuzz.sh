#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60); names after the seconds (e.g. itemfile) pick targets. Seeds are in
# fuzz/corpus/<target>; what a run finds is kept in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/setup.sh --test
launcher=()
export CCACHE_BASEDIR="$PWD"
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
      -DSITEVIGIL_FUZZ=ON -DBUILD_TESTING=OFF -DSITEVIGIL_BENCH=OFF "${launcher[@]}" >/dev/null
targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
[ $# -gt 0 ] && targets=$(printf 'fuzz_%s ' "$@")
cmake --build build/fuzz -j "$(nproc)" --target $targets
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# One target per core at a time; each reports when it ends.
fuzz_one() {
    local t=$1 name=${1#fuzz_}
    local work=build/fuzz/corpus/$name artifacts=build/fuzz/artifacts/$name/
    mkdir -p "$work" "$artifacts"
    # -len_control=0: inputs of every length up to 64 KiB from the start, not grown slowly
    # from a few bytes (a short run would never reach the sizes real files have).
    if ! build/fuzz/fuzz/$t -max_total_time="$seconds" -max_len=65536 -len_control=0 -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
            "$work" "fuzz/corpus/$name" 2>build/fuzz/$t.log; then
        echo "FINDING in $t:"; tail -n 40 build/fuzz/$t.log; return 1
    fi
    echo "== $t for ${seconds}s: $(grep -E 'Done [0-9]+ runs' build/fuzz/$t.log | tail -n 1)"
}
status=0
running=0
for t in $targets; do
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
    fuzz_one "$t" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
