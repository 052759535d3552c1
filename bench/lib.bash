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

# The table every script prints its figures into. bench/run prints the header once and sets
# SNIPORA_BENCH_TABLE, so that a script run from there adds only its rows; run alone, it prints its
# own header.
table_format='%-58s | %10s | %-28s %10s | %7s | %s\n'
table_header() {
    [ -z "${SNIPORA_BENCH_TABLE:-}" ] || return 0
    # shellcheck disable=SC2059
    printf "$table_format" figure snipora peer "" ratio target
    printf '%s\n' "-----------------------------------------------------------+------------+-----------------------------------------+---------+-------"
}

# row FIGURE OURS-SECONDS PEER-NAME PEER-SECONDS RATIO TARGET: a time pair.
row() {
    row_value "$1" "$(printf '%.3fs' "$2")" "$3" "$(printf '%.3fs' "$4")" "$5" "$6"
}

# row_value FIGURE OURS PEER-NAME PEER RATIO TARGET: a figure that is not a time pair (a memory, a
# count, milliseconds...), both values already written with their unit. PEER-NAME is "-" and PEER
# is empty where nothing runs beside ours, and RATIO "-" where there is no ratio to take; a numeric
# RATIO is printed with two decimals.
row_value() {
    local ratio=$5
    if [[ $ratio =~ ^-?[0-9.]+(e[-+]?[0-9]+)?$ ]]; then ratio=$(printf '%.2f' "$ratio"); fi
    # shellcheck disable=SC2059
    printf "$table_format" "$1" "$2" "$3" "$4" "$ratio" "$6"
}

# A piece timed inside our process with nothing run beside it: its row says so in the peer column.
# shellcheck disable=SC2034 # read by the scripts that source this file
inside='(inside the process, no peer)'

# ratio A B: A / B with four decimals, "-" when B is zero.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.4f\n", a / b }'; }
