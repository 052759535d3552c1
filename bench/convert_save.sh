#!/usr/bin/env bash
# Convert Save of 60 s from a 1-hour MP3 to MP3 128k, against the same encoder command run
# directly. Target: overhead <= 5 % of the direct time + 0.15 s.
set -euo pipefail
bin=$SNIPORA_BUILD_DIR/bench/bench_convert_save
ffmpeg=$SNIPORA_BUILD_DIR/ffmpeg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
# One encoded minute, repeated by stream copy: an hour of MP3 in seconds.
"$ffmpeg" -nostdin -v error -f lavfi -i "sine=frequency=440:duration=60" -ac 2 -ab 128k \
    "$work/minute.mp3"
"$ffmpeg" -nostdin -v error -stream_loop 59 -i "$work/minute.mp3" -c copy "$work/hour.mp3"
read -r snipora direct overhead < <("$bin" "$SNIPORA_BUILD_DIR" "$work/hour.mp3" "$work" 9)
awk -v s="$snipora" -v d="$direct" -v o="$overhead" 'BEGIN {
    limit = 0.05 * d + 0.15
    printf "convert save of 60 s to MP3 128k: snipora %.3f s, ffmpeg directly %.3f s (medians), overhead %.3f s (median of run-by-run differences; target <= %.3f s)\n", s, d, o, limit
}'
