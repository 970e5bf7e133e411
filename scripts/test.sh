#!/usr/bin/env bash
# Sets up, builds and runs every test: once in a normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short fuzzing run. Exits non-zero on any failure or finding.
set -euo pipefail
cd "$(dirname "$0")/.."
# The time of each phase and the CPU of the whole, printed at the end (also after a failure).
phases=()
phase_start=$SECONDS
phase() {
    phases+=("$(printf '%-34s %5d s' "$1" $((SECONDS - phase_start)))")
    phase_start=$SECONDS
}
report_times() {
    echo "== Times"
    printf '  %s\n' "${phases[@]}"
    # times: this shell, then everything it waited for (user and system CPU).
    # (A pipe would run times in a subshell, which has waited for nothing.)
    local cpu
    cpu=$(mktemp)
    times >"$cpu"
    tail -n 1 "$cpu" | awk '{print "  CPU of every step: user " $1 ", system " $2}'
    rm -f "$cpu"
    echo "  wall: ${SECONDS} s"
}
trap report_times EXIT
bash scripts/setup.sh --test
phase "packages"
bash scripts/check-format.sh
phase "format"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
launcher=()
export CCACHE_BASEDIR="$PWD"
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

echo "== Tests =="
# -g1: line tables for backtraces and sanitizer reports, without the full debug information
# that costs a fifth of the compile.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "${launcher[@]}"
cmake --build build/test -j "$jobs"
phase "build (tests)"
bash scripts/check-trace.sh start build/test
ctest --test-dir build/test --output-on-failure -j "$jobs" | tee build/test/ctest.log
bash scripts/check-trace.sh end build/test
phase "ctest (tests)"

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" \
      -DSITEVIGIL_SANITIZE=ON -DSITEVIGIL_BENCH=OFF "${launcher[@]}"
cmake --build build/asan -j "$jobs"
phase "build (sanitizers)"
bash scripts/check-trace.sh start build/asan
ctest --test-dir build/asan --output-on-failure -j "$jobs" | tee build/asan/ctest.log
bash scripts/check-trace.sh end build/asan
phase "ctest (sanitizers)"

echo "== Short fuzzing run of every target =="
# Ten targets, one per core: 12 s each keeps the phase at about a minute on two cores.
bash scripts/fuzz.sh 12
phase "fuzzing (build and run)"

# Reached only when everything above passed (set -e, pipefail).
runs=$(cat build/test/ctest.log build/asan/ctest.log | sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' | awk '{s+=$1} END {print s+0}')
fuzzers=$(ls fuzz/fuzz_*.cpp | wc -l)
echo "tests: $((runs + fuzzers)) passed, 0 failed"
