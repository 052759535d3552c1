#!/usr/bin/env bash
# Shared by the benchmark scripts: whole processes timed in pairs, alternated, and one table row
# per figure. Sourced, not run.

runs=${SNIPORA_BENCH_RUNS:-5}

# Wall seconds of one run of a command, its output thrown away.
wall_seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.4f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# paired PREPARE -- OURS... -- PEER...: runs ours and the peer alternately $runs times, PREPARE
# before each run (e.g. to remove the output), and prints "ours-median peer-median".
paired() {
    local prepare=() ours=() peer=()
    while [ "$1" != -- ]; do prepare+=("$1"); shift; done
    shift
    while [ "$1" != -- ]; do ours+=("$1"); shift; done
    shift
    peer=("$@")
    local a=() b=()
    for _ in $(seq "$runs"); do
        [ ${#prepare[@]} -eq 0 ] || "${prepare[@]}"
        a+=("$(wall_seconds "${ours[@]}")")
        [ ${#prepare[@]} -eq 0 ] || "${prepare[@]}"
        b+=("$(wall_seconds "${peer[@]}")")
    done
    echo "$(printf '%s\n' "${a[@]}" | median) $(printf '%s\n' "${b[@]}" | median)"
}

table_header() {
    printf '%-46s | %9s | %-26s %9s | %7s | %s\n' figure snipora peer "" ratio target
    printf '%s\n' "-----------------------------------------------+-----------+--------------------------------------+---------+-------"
}

# row FIGURE OURS-SECONDS PEER-NAME PEER-SECONDS RATIO TARGET
row() {
    printf '%-46s | %8.3fs | %-26s %8.3fs | %7.2f | %s\n' "$1" "$2" "$3" "$4" "$5" "$6"
}
