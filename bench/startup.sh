#!/usr/bin/env bash
# Start-up: time from process start to the main window shown, and resident memory then,
# for Snipora and for a bare Qt Widgets window built the same way. Target: both ratios <= 1.5.
set -euo pipefail
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
awk -v a="$snipora_us" -v b="$bare_us" -v c="$snipora_kib" -v d="$bare_kib" -v e="$label_us" -v f="$label_kib" 'BEGIN {
    printf "start to window shown: snipora %.1f ms, bare %.1f ms, ratio %.2f (target <= 1.5)\n", a/1000, b/1000, a/b
    printf "resident after start-up: snipora %d KiB, bare %d KiB, ratio %.2f (target <= 1.5)\n", c, d, c/d
    printf "for context, a bare window with one label: %.1f ms, %d KiB; snipora against it: %.2f, %.2f\n", e/1000, f, a/e, c/f
}'
