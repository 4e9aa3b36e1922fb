#!/usr/bin/env bash
# Runs the whole suite N times on the existing build (build/, made by
# scripts/build.sh or scripts/test.sh) and prints, per test, how often it
# failed and its failing lines. Odd runs start from the state a first run
# meets (the tests' own folders and the user's font and window manager
# caches cleared, the page cache dropped when the system allows it); even
# runs have every core kept busy by a load this script starts and stops.
# Ends non-zero on any failure. The logs are kept in build/soak/.
#   soak-tests.sh [N]   (default 4)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-4}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [runs]" >&2; exit 2; }
[ -f build/CTestTestfile.cmake ] || { echo "no build in build/: run scripts/build.sh first" >&2; exit 2; }
logs=$PWD/build/soak
rm -rf "$logs"
mkdir -p "$logs"
cores=$(nproc)

# This build's test folders (tests/CMakeLists.txt names them).
folders=$(grep -o -m 1 '/tmp/pocketclips-tests-[0-9a-f]*' build/tests/CTestTestfile.cmake)
folders=${folders%%$'\n'*}

load=()
stop_load() {
    if [ ${#load[@]} -gt 0 ]; then
        kill "${load[@]}" 2>/dev/null || true
        wait "${load[@]}" 2>/dev/null || true
    fi
    load=()
}
# An interrupted suite does not get to remove its folders.
interrupted() {
    stop_load
    wait
    rm -rf "${folders:-/nonexistent}"
    exit "$1"
}
trap stop_load EXIT
trap 'interrupted 130' INT
trap 'interrupted 143' TERM

clear_state() {
    # The tests' folders (the suite makes them anew) and what a first run
    # finds missing in the user's own caches.
    rm -rf "${folders:-/nonexistent}" "${XDG_CACHE_HOME:-$HOME/.cache}/fontconfig" \
        "${XDG_CACHE_HOME:-$HOME/.cache}/openbox"
    sync
    if (echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
        echo "page cache dropped"
    else
        echo "page cache not dropped: not allowed here"
    fi
}

failed_runs=0
for ((run = 1; run <= runs; run++)); do
    if ((run % 2)); then
        kind=cleared
        note=$(clear_state)
    else
        kind=loaded
        for ((c = 0; c < cores; c++)); do
            (while :; do :; done) &
            load+=($!)
        done
        note="$cores busy loops"
    fi
    log=$logs/run-$run-$kind.log
    start=$SECONDS
    status=0
    (cd build && QT_QPA_PLATFORM=offscreen ctest -j"$cores" --output-on-failure) >"$log" 2>&1 ||
        status=$?
    stop_load
    failing=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*)$/\1/p' "$log" | tr '\n' ' ')
    if [ "$status" -eq 0 ]; then
        result=passed
    else
        result="FAILED: ${failing:-ctest ended with status $status}"
        failed_runs=$((failed_runs + 1))
    fi
    echo "run $run ($kind; $note): $result ($((SECONDS - start)) s)"
done

echo
echo "== per test (logs in $logs)"
# A failing test's report follows its "***Failed" (or Timeout...) line up to
# the next line of ctest's own.
awk '
    FNR == 1 { run = FILENAME; sub(/.*\/run-/, "", run); sub(/\.log$/, "", run); name = "" }
    /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / {
        name = ""
        if ($0 ~ /\*\*\*|Not Run|Failed/) {
            name = $0; sub(/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: /, "", name); sub(/ .*/, "", name)
            fails[name]++
            status = $0; sub(/.*\.\.\.+ */, "", status)
            lines[name] = lines[name] "  run " run ": " status "\n"
        }
        next
    }
    /^ *Start +[0-9]+: / || /tests passed, / { name = ""; next }
    name != "" && /FAIL!|QFATAL|QWARN|Loc: \[|Actual|Expected|CMake Error/ {
        lines[name] = lines[name] "      " $0 "\n"
    }
    END {
        for (t in fails) { printf "%s: failed in %d run(s)\n%s", t, fails[t], lines[t] }
    }
' "$logs"/run-*.log | sed 's/[[:space:]]*$//'
if [ "$failed_runs" -eq 0 ]; then
    echo "no test failed"
fi
echo
echo "== $((runs - failed_runs)) of $runs runs passed ($(((runs + 1) / 2)) cleared, $((runs / 2)) loaded)"
[ "$failed_runs" -eq 0 ]
