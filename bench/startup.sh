#!/usr/bin/env bash
# Start-up: time from process start to the main window shown, and resident memory then,
# for Snipora and for a bare Qt Widgets window built the same way, started in turn. Target: both
# ratios <= 1.5.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/bench/bench_startup
# The program looks for thanks.txt in its own folder.
cp "$SNIPORA_BUILD_DIR/thanks.txt" "$(dirname "$bin")/"
export QT_QPA_PLATFORM=offscreen
runs=15

# One start of the given window: "microseconds-to-shown KiB".
start_once() {
    local start end kib
    start=$(date +%s%N)
    read -r end kib < <("$bin" "$1" 2>/dev/null)
    echo "$(( (end - start) / 1000 )) $kib"
}

# The three windows started in turn, $runs times, so that a busy moment of the machine falls on
# all of them alike; the medians of each.
declare -A times memories
for _ in $(seq $runs); do
    for mode in snipora bare label; do
        read -r us kib < <(start_once "$mode")
        times[$mode]+="$us "
        memories[$mode]+="$kib "
    done
done
middle() { tr ' ' '\n' <<<"$1" | grep . | sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
snipora_us=$(middle "${times[snipora]}")
snipora_kib=$(middle "${memories[snipora]}")
bare_us=$(middle "${times[bare]}")
bare_kib=$(middle "${memories[bare]}")
label_us=$(middle "${times[label]}")
label_kib=$(middle "${memories[label]}")
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
