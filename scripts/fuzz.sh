#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# its corpus in tests/fuzz/corpus (new inputs go to a scratch folder).
#   fuzz.sh [seconds per target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPC_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(sed -n 's/^pc_add_fuzzer(\([a-z_]*\).*/\1/p' tests/fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz -j"$(nproc)" --target $targets
export QT_QPA_PLATFORM=offscreen
# ASan keeps the allocation stack of every block; unwinding through the
# system's Qt (built without frame pointers) makes nearly every stack a new
# record, and in a long run the records alone outgrow the memory limit. A
# finding is replayed with full stacks: build-fuzz/tests/fuzz/<target> <crash file>.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0}
for t in $targets; do
    name=${t#fuzz_}
    scratch=$(mktemp -d)
    echo "== $t: ${seconds}s"
    log="$scratch.log"
    status=0
    "build-fuzz/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        "$scratch" "tests/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    grep -E '^Done|ERROR|SUMMARY|broken rule|Test unit written' "$log" || true
    rm -rf "$scratch" "$log"
    [ "$status" -eq 0 ] || {
        echo "$t found a fault (crash file in $(pwd); replay: build-fuzz/tests/fuzz/$t FILE)"
        exit 1
    }
done
