#!/usr/bin/env bash
# Start-up: time from process start to the main window shown, and resident memory then,
# for Snipora and for a bare Qt Widgets window built the same way. Target: both ratios <= 1.5.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/bench/bench_startup
# The program looks for thanks.txt in its own folder.
cp "$SNIPORA_BUILD_DIR/thanks.txt" "$(dirname "$bin")/"
export QT_QPA_PLATFORM=offscreen
runs=15

measure() { # mode -> "median-ms median-KiB"
    local times=() memories=()
    for _ in $(seq $runs); do
        local start end kib
        start=$(date +%s%N)
        read -r end kib < <("$bin" "$1" 2>/dev/null)
        times+=($(( (end - start) / 1000 )))
        memories+=("$kib")
    done
    local t m
    t=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
    m=$(printf '%s\n' "${memories[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
    echo "$t $m"
}

read -r snipora_us snipora_kib < <(measure snipora)
read -r bare_us bare_kib < <(measure bare)
read -r label_us label_kib < <(measure label)
ms() { awk -v us="$1" 'BEGIN { printf "%.1fms", us / 1000 }'; }
table_header
row_value "start to window shown" "$(ms "$snipora_us")" "bare Qt Widgets window" "$(ms "$bare_us")" \
    "$(ratio "$snipora_us" "$bare_us")" "<= 1.5"
row_value "resident after start-up" "${snipora_kib}KiB" "bare Qt Widgets window" "${bare_kib}KiB" \
    "$(ratio "$snipora_kib" "$bare_kib")" "<= 1.5"
row_value "  start to window shown (for context)" "$(ms "$snipora_us")" "bare window, one label" \
    "$(ms "$label_us")" "$(ratio "$snipora_us" "$label_us")" "-"
row_value "  resident after start-up (for context)" "${snipora_kib}KiB" "bare window, one label" \
    "${label_kib}KiB" "$(ratio "$snipora_kib" "$label_kib")" "-"
