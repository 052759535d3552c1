#!/usr/bin/env bash
# The waveform overview of a 1-hour 128k MP3: ready against `ffmpeg -i f -f null -` on the same
# file (target <= 0.5x), the longest the UI thread's event loop waited meanwhile (target <= 16 ms),
# and the memory of a 10-hour file's peaks (target <= 4 MB).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
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
table_header
row "waveform of 1 h 128k ready, $buckets buckets (in-process)" "$ours" "ffmpeg -f null" "$ff_wall" \
    "$(ratio "$ours" "$ff_wall")" "<= 0.5"
row "  CPU of the same" "$ours_cpu" "ffmpeg -f null" "$ff_cpu" "$(ratio "$ours_cpu" "$ff_cpu")" "-"
row_value "  longest event-loop gap meanwhile (1 ms timer)" "$(printf '%.2fms' "$gap")" "$inside" "" \
    - "<= 16ms"

read -r bytes covered < <("$bin" memory "$work/ten-hours.mp3")
row_value "peaks of 10 h ($(awk -v c="$covered" 'BEGIN { printf "%.2f", c / 3600000 }') h covered)" \
    "$(awk -v b="$bytes" 'BEGIN { printf "%.3fMB", b / 1e6 }')" "$inside" "" - "<= 4MB"
