#!/usr/bin/env bash
# The media command service on 1-hour MP3 files: open + exact length against ffprobe
# -count_packets (target <= 0.5x, and exact), CPU while playing through the null output
# (target <= 1 % of a core, near 0 paused), "play movie from N" to the first sample handed to
# the output (target <= 20 ms), resident memory with the 1-hour file playing against a 5-second
# file (target <= +5 MB).
set -euo pipefail
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

median() { sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
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

for kind in cbr vbr; do
    file=$work/$kind-hour.mp3
    read -r ours length decoded < <("$bin" open "$file" 5)
    theirs=$(ffprobe_seconds "$file")
    estimate=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")
    awk -v o="$ours" -v t="$theirs" -v l="$length" -v d="$decoded" -v e="$estimate" -v k="$kind" 'BEGIN {
        label = k == "cbr" ? "1-hour 128k CBR" : "1-hour VBR without Xing header"
        printf "open + length, %s: snipora %.3f s, ffprobe -count_packets %.3f s, ratio %.2f (target <= 0.5); length %d ms, decoded %d ms: %s (ffprobe estimates %.0f ms)\n", label, o, t, o / t, l, d, (l == d ? "exact" : "NOT EXACT"), e * 1000
    }'
done

read -r playing paused < <("$bin" cpu "$work/cbr-hour.mp3" "$play_seconds" 10)
awk -v p="$playing" -v q="$paused" -v s="$play_seconds" 'BEGIN {
    printf "CPU playing %d s through the null output: %.2f %% of a core (target <= 1 %%); paused 10 s: %.3f %% (target near 0)\n", s, p * 100, q * 100
}'

read -r median_ms max_ms < <("$bin" latency "$work/cbr-hour.mp3" 41)
awk -v m="$median_ms" -v x="$max_ms" 'BEGIN {
    printf "\"play movie from N\" on the 1-hour file to the first sample handed to the output: median %.2f ms, max %.2f ms of 41 (target <= 20 ms)\n", m, x
}'

hour_kib=$("$bin" memory "$work/cbr-hour.mp3" 3)
five_kib=$("$bin" memory "$work/five-seconds.mp3" 3)
awk -v h="$hour_kib" -v f="$five_kib" 'BEGIN {
    printf "resident while playing: 1-hour file %d KiB, 5-second file %d KiB, difference %+.2f MB (target <= +5 MB)\n", h, f, (h - f) * 1024 / 1e6
}'
