#!/usr/bin/env bash
# Builds a release build in build-bench/, runs the benchmarks and prints one
# table: each row a figure against a baseline measured in the same run, the
# median of several runs, its target and the command that repeats it.
#
#   bench/run.sh            every row
#   bench/run.sh 3 4        only rows 3 and 4
#   PC_BENCH_BEFORE=main bench/run.sh 3
#                           row 3 also measures the encoder adapter of that
#                           commit (built into /tmp/pc-bench-before), in the
#                           same runs
#
# Rows: 1 folder expansion, 2 batch cost and reaction times, 3 conversion
# throughput (clips of 10 s and of 60 s), 4 start-up, 5 memory, 6 picture quality and encode time per
# codec. Rows 1-3 run headless (offscreen), row 6 needs no display; rows 4
# and 5 under xvfb-run (a real X server, no window manager), or offscreen when
# xvfb-run is missing. Timings never decide a test: ctest does not run these.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${PC_BENCH_BUILD:-build-bench}
rows=("$@")
[ ${#rows[@]} -eq 0 ] && rows=(1 2 3 4 5 6)
want() { local r; for r in "${rows[@]}"; do [ "$r" = "$1" ] && return 0; done; return 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
echo "== building $build (Release)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPC_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target pocketclips pc_encoder bench >/dev/null

bin="$build/bench"
program_dir="$build/Pocketclips"
tree=/tmp/pc-bench-tree
export LC_ALL=C.UTF-8
if command -v xvfb-run >/dev/null; then
    display='xvfb-run -a -s "-screen 0 1280x1024x24"'
    display_name="xvfb-run (Xvfb, no window manager)"
else
    display="QT_QPA_PLATFORM=offscreen"
    display_name="QT_QPA_PLATFORM=offscreen"
fi

declare -A how
how[1]="QT_QPA_PLATFORM=offscreen $bin/bench_sourcelist --runs 5"
how[2]="QT_QPA_PLATFORM=offscreen $bin/bench_batch"
before=""
if [ -n "${PC_BENCH_BEFORE:-}" ] && want 3; then
    # The adapter is plain C++ in encoder/: that commit's files, compiled alone.
    before_dir=/tmp/pc-bench-before
    rm -rf "$before_dir"
    mkdir -p "$before_dir"
    git archive "$PC_BENCH_BEFORE" encoder | tar -x -C "$before_dir"
    c++ -std=c++17 -O2 -o "$before_dir/ffmpeg" "$before_dir"/encoder/*.cpp
    before=" --before $before_dir/ffmpeg --before-label $PC_BENCH_BEFORE"
fi
throughput="QT_QPA_PLATFORM=offscreen $bin/bench_throughput --adapter $program_dir/ffmpeg --delivered $program_dir"
how[3]="$throughput --runs 5$before && $throughput --seconds 60 --runs 3$before"
how[4]="$display $bin/bench_startup --program $bin/bench_program --minimal $bin/bench_minimal --delivered $program_dir --tree $tree --runs 21"
how[5]=${how[4]}
how[6]="$bin/bench_quality --runs 3"

results=$(mktemp)
trap 'rm -f "$results"' EXIT
errors="$build/bench-stderr.log"
: >"$errors"
# What the rest of the machine uses while no benchmark runs, over 3 s, in %
# of one core: "busy low" where low is the part of processes at a lower
# priority (fuzzers at nice 19 compete much less).
snapshot() {
    awk '/^cpu / {print "total", $2 + $3 + $4 + $7 + $8 + $9}' /proc/stat
    local f l
    for f in /proc/[0-9]*/stat; do
        { read -r l <"$f"; } 2>/dev/null || continue
        echo "${f//[^0-9]/} ${l##*) }"
    done | awk '$18 > 0 {print $1, $13 + $14}'
}
others() {
    local a b
    a=$(snapshot)
    sleep 3
    b=$(snapshot)
    printf '%s\n--\n%s\n' "$a" "$b" | awk -v hz="$(getconf CLK_TCK)" '
        $1 == "--" { second = 1; next }
        !second { before[$1] = $2; next }
        $1 == "total" { total = $2 - before["total"]; next }
        $1 in before { low += $2 - before[$1] }
        END { printf "%.0f %.0f", total / hz / 3 * 100, low / hz / 3 * 100 }'
}
load_before=$(uptime)
others_before=$(others)
echo "== $(date -R)"
echo "   $(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)," \
     "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "   load before: $load_before"
echo "   machine before (3 s idle): ${others_before% *}% of a core busy, ${others_before#* }% of it at low priority"

run_row() {
    echo "== row $1: ${how[$1]}"
    # The figures' lines go to the table, the rest is shown as it comes.
    if ! bash -c "${how[$1]}" 2>>"$errors" | while IFS= read -r line; do
        case $line in
            RESULT$'\t'*) printf '%s\n' "$line" >>"$results" ;;
            *) printf '   %s\n' "$line" ;;
        esac
    done; then
        echo "   row $1 FAILED (its messages are in $errors)"
        printf 'RESULT\t%s\tthe benchmark failed\t-\t-\t-\t-\tMISSED\n' "$1" >>"$results"
    fi
}

want 1 && run_row 1
want 2 && run_row 2
want 3 && run_row 3
if want 4 || want 5; then
    # Row 5's full list comes from row 1's tree.
    [ -f "$tree.complete" ] || QT_QPA_PLATFORM=offscreen "$bin/bench_sourcelist" --runs 1 >/dev/null 2>&1
    run_row 4
fi
want 6 && run_row 6
load_after=$(uptime)
others_after=$(others)
echo "   load after: $load_after"
echo "   machine after (3 s idle): ${others_after% *}% of a core busy, ${others_after#* }% of it at low priority"

echo
echo "| # | measure | figure | baseline (same run) | ratio | target | result | command |"
echo "|---|---|---|---|---|---|---|---|"
awk -F'\t' -v sel=" ${rows[*]} " '
    index(sel, " " $2 " ") {
        for (i = 3; i <= NF; ++i) gsub(/\|/, "\\|", $i)
        printf "| %s | %s | %s | %s | %s | %s | %s | `bench/run.sh %s` |\n", $2, $3, $4, $5, $6, $7, $8, $2
    }' "$results"
echo
for r in "${rows[@]}"; do
    [ -n "${how[$r]:-}" ] && echo "row $r: ${how[$r]}"
done
echo "rows 4 and 5: $display_name"
# The load average counts the benchmarks themselves; the samples taken
# before and after do not.
normal() { echo $(( ${1% *} - ${1#* } )); }
if [ "$(normal "$others_before")" -gt 15 ] || [ "$(normal "$others_after")" -gt 15 ]; then
    echo "note: other processes were busy around the run; the timings may be high, rerun when it is quiet"
fi
if grep -q $'\tMISSED$' "$results"; then
    echo "some targets were missed"
fi
