#!/usr/bin/env bash
# Direct Save of a 100 MB selection against dd bs=4096 copying the same byte range of the same
# file, both reading from the page cache. Target: throughput ratio >= 0.5.
set -euo pipefail
bin=$SNIPORA_BUILD_DIR/bench/bench_direct_save
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
runs=7

# 128 MiB of source at 1000 bytes per millisecond; the selection spans 100,000 ms = 100 MB.
head -c $((128 * 1024 * 1024)) /dev/urandom >"$work/source.mp3"
cat "$work/source.mp3" >/dev/null # into the page cache
start_ms=10000
end_ms=110000

median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }

snipora=() dd_times=() dd_sync_times=()
timed_dd() { # extra dd flags... -> seconds
    local begin finish
    begin=$(date +%s%N)
    dd if="$work/source.mp3" of="$work/dd.mp3" bs=4096 iflag=skip_bytes,count_bytes \
        skip="$offset" count="$length" status=none "$@"
    finish=$(date +%s%N)
    awk -v ns=$((finish - begin)) 'BEGIN { printf "%.6f", ns / 1e9 }'
}
for _ in $(seq $runs); do
    rm -f "$work/cut.mp3" "$work/dd.mp3"
    read -r seconds offset length < <("$bin" "$work/source.mp3" "$work/cut.mp3" $start_ms $end_ms 1000 2>/dev/null)
    snipora+=("$seconds")
    rm -f "$work/dd.mp3"
    dd_sync_times+=("$(timed_dd conv=fdatasync)")
    rm -f "$work/dd.mp3"
    dd_times+=("$(timed_dd)")
done
cmp -s "$work/cut.mp3" "$work/dd.mp3" || { echo "outputs differ"; exit 1; }

s=$(printf '%s\n' "${snipora[@]}" | median)
d=$(printf '%s\n' "${dd_times[@]}" | median)
f=$(printf '%s\n' "${dd_sync_times[@]}" | median)
# The save flushes its temporary file to disk before it replaces the target (so that a crash
# cannot leave an empty file in place of a good one); dd with conv=fdatasync is shown beside it.
awk -v s="$s" -v d="$d" -v f="$f" -v bytes="$length" 'BEGIN {
    mb = bytes / 1e6
    printf "direct save of %.1f MB (median of 7): snipora %.3f s (%.0f MB/s), dd bs=4096 %.3f s (%.0f MB/s): throughput ratio %.2f (target >= 0.5)\n", mb, s, mb / s, d, mb / d, d / s
    printf "  for comparison, dd bs=4096 conv=fdatasync %.3f s (%.0f MB/s): ratio %.2f\n", f, mb / f, f / s
}'
