#!/usr/bin/env bash
# The waveform overview of a 1-hour 128k MP3: ready against `ffmpeg -i f -f null -` on the same
# file (target <= 0.5x), the longest the UI thread's event loop waited meanwhile (target <= 16 ms),
# and the memory of a 10-hour file's peaks (target <= 4 MB).
set -euo pipefail
bin=$SNIPORA_BUILD_DIR/bench/bench_waveform
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

ff() { ffmpeg -nostdin -v error -y "$@"; }
chirp="aevalsrc=exprs=0.5*sin(2*PI*(220*t+3*t*t))|0.4*sin(2*PI*(330*t+2*t*t)):s=44100:d=60"
# One encoded minute, repeated by stream copy: an hour of MP3 in seconds.
ff -f lavfi -i "$chirp" -c:a libmp3lame -b:a 128k "$work/minute.mp3"
ff -stream_loop 59 -i "$work/minute.mp3" -c copy "$work/hour.mp3"
# Ten hours at 32k: as many frames as at any bitrate, in a quarter of the disk.
ff -f lavfi -i "$chirp" -c:a libmp3lame -b:a 32k "$work/minute-32k.mp3"
ff -stream_loop 599 -i "$work/minute-32k.mp3" -c copy "$work/ten-hours.mp3"
cat "$work"/*.mp3 >/dev/null # both sides read from the page cache

ffmpeg_times() { # file -> median wall seconds and median CPU seconds of 3 runs
    local runs
    runs=$(for _ in 1 2 3; do
        TIMEFORMAT='%R %U %S'
        { time ffmpeg -nostdin -v error -i "$1" -f null - >/dev/null 2>&1; } 2>&1
    done)
    echo "$(awk '{ print $1 }' <<<"$runs" | sort -n | sed -n 2p)" \
        "$(awk '{ print $2 + $3 }' <<<"$runs" | sort -n | sed -n 2p)"
}

read -r ff_wall ff_cpu < <(ffmpeg_times "$work/hour.mp3")
read -r ours ours_cpu gap buckets < <("$bin" ready "$work/hour.mp3" 3)
awk -v o="$ours" -v oc="$ours_cpu" -v t="$ff_wall" -v tc="$ff_cpu" -v g="$gap" -v b="$buckets" 'BEGIN {
    printf "waveform of a 1-hour 128k MP3 ready: snipora %.3f s (CPU %.3f s), ffmpeg -f null %.3f s (CPU %.3f s), ratio %.2f (target <= 0.5), CPU ratio %.2f; %d buckets\n", o, oc, t, tc, o / t, oc / tc, b
    printf "longest gap between event-loop passes (1 ms timer) while computing: %.2f ms (target <= 16 ms)\n", g
}'

read -r bytes covered < <("$bin" memory "$work/ten-hours.mp3")
awk -v b="$bytes" -v c="$covered" 'BEGIN {
    printf "peaks of a 10-hour file (%.2f h covered): %d bytes, %.3f MB (target <= 4 MB)\n", c / 3600000, b, b / 1e6
}'
