#!/usr/bin/env bash
# The media command service on 1-hour MP3 files: open + exact length against ffprobe
# -count_packets (target <= 0.5x, and exact), CPU while playing through the null output
# (target <= 1 % of a core, near 0 paused), "play movie from N" to the first sample handed to
# the output (target <= 20 ms), resident memory with the 1-hour file playing against a 5-second
# file (target <= +5 MB).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/bench/bench_media_engine
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen SNIPORA_AUDIO_OUTPUT=null
play_seconds=${SNIPORA_BENCH_PLAY_SECONDS:-60}

ff() { ffmpeg -nostdin -v error -y "$@"; }
chirp="aevalsrc=exprs=0.5*sin(2*PI*(220*t+3*t*t))|0.4*sin(2*PI*(330*t+2*t*t)):s=44100:d=60"
# One encoded minute, repeated by stream copy: an hour of MP3 in seconds.
ff -f lavfi -i "$chirp" -c:a libmp3lame -b:a 128k "$work/cbr-minute.mp3"
ff -stream_loop 59 -i "$work/cbr-minute.mp3" -c copy "$work/cbr-hour.mp3"
ff -f lavfi -i "$chirp" -c:a libmp3lame -q:a 2 -write_xing 0 "$work/vbr-minute.mp3"
ff -stream_loop 59 -i "$work/vbr-minute.mp3" -c copy -write_xing 0 "$work/vbr-hour.mp3"
ff -i "$work/cbr-minute.mp3" -t 5 -c copy "$work/five-seconds.mp3"
cat "$work"/*.mp3 >/dev/null # both sides read from the page cache

ffprobe_seconds() { # file -> median seconds of 3 runs
    local times=()
    for _ in 1 2 3; do
        local start end
        start=$(date +%s%N)
        ffprobe -v error -count_packets -select_streams a:0 \
            -show_entries stream=nb_read_packets -of csv=p=0 "$1" >/dev/null
        end=$(date +%s%N)
        times+=("$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')")
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 2p
}

table_header
for kind in cbr vbr; do
    file=$work/$kind-hour.mp3
    read -r ours length decoded < <("$bin" open "$file" 5)
    theirs=$(ffprobe_seconds "$file")
    estimate=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")
    label=$([ "$kind" = cbr ] && echo "1 h 128k CBR" || echo "1 h VBR without Xing header")
    row "open + length, $label (in-process)" "$ours" "ffprobe -count_packets" "$theirs" \
        "$(ratio "$ours" "$theirs")" "<= 0.5"
    # Exact when the length given at open is the length a full decode finds.
    row_value "  length at open ($([ "$length" = "$decoded" ] && echo exact || echo "NOT EXACT"))" \
        "${length}ms" "decoded in full" "${decoded}ms" - "= decoded"
    row_value "  length at open, for context" "${length}ms" "ffprobe's duration estimate" \
        "$(awk -v e="$estimate" 'BEGIN { printf "%.0fms", e * 1000 }')" - "-"
done

read -r playing paused < <("$bin" cpu "$work/cbr-hour.mp3" "$play_seconds" 10)
percent() { awk -v v="$1" -v d="$2" 'BEGIN { printf "%." d "f%%", v * 100 }'; }
row_value "CPU playing $play_seconds s, null output, no window" "$(percent "$playing" 2)" "$inside" "" \
    - "<= 1% of a core"
row_value "  CPU paused 10 s" "$(percent "$paused" 3)" "$inside" "" - "near 0"

read -r median_ms max_ms < <("$bin" latency "$work/cbr-hour.mp3" 41)
row_value "\"play movie from N\" to first sample out, 1 h: median" "$(printf '%.2fms' "$median_ms")" \
    "$inside" "" - "<= 20ms"
row_value "  slowest of 41" "$(printf '%.2fms' "$max_ms")" "$inside" "" - "<= 20ms"

hour_kib=$("$bin" memory "$work/cbr-hour.mp3" 3)
five_kib=$("$bin" memory "$work/five-seconds.mp3" 3)
row_value "resident playing 1 h, over playing 5 s" \
    "$(awk -v h="$hour_kib" -v f="$five_kib" 'BEGIN { printf "%+.2fMB", (h - f) * 1024 / 1e6 }')" \
    "$inside" "" - "<= +5MB"
row_value "  resident playing 1 h" "${hour_kib}KiB" "snipora playing 5 s" "${five_kib}KiB" \
    "$(ratio "$hour_kib" "$five_kib")" "-"
