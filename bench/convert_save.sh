#!/usr/bin/env bash
# Convert Save of 60 s from a 1-hour MP3 to MP3 128k, against the same encoder command run
# directly. Target: overhead <= 5 % of the direct time + 0.15 s.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
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
table_header
row "convert 60 s of 1 h to MP3 128k (save, in-process)" "$snipora" "ffmpeg, same command" "$direct" \
    "$(ratio "$snipora" "$direct")" \
    "<= $(awk -v d="$direct" 'BEGIN { printf "%.2f", (1.05 * d + 0.15) / d }')"
# The median of the run-by-run differences, steadier than the difference of the medians.
row_value "  overhead over ffmpeg (median of differences)" "$(printf '%.3fs' "$overhead")" - "" - \
    "<= $(awk -v d="$direct" 'BEGIN { printf "%.3f", 0.05 * d + 0.15 }')s"
