#!/usr/bin/env bash
# A zoom step at 1 ms a pixel in the middle of a 1-hour CBR and VBR MP3: time until the view has
# painted the decoded samples (target < 100 ms), the window's longest stall meanwhile, and the
# memory of the finest detail kept.
set -euo pipefail
bin=$SNIPORA_BUILD_DIR/bench/bench_waveform_zoom
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -nostdin -v error -y "$@"; }
chirp="aevalsrc=exprs=0.5*sin(2*PI*(220*t+3*t*t))|0.4*sin(2*PI*(330*t+2*t*t)):s=44100:d=60"
ff -f lavfi -i "$chirp" -c:a libmp3lame -b:a 128k "$work/minute-cbr.mp3"
ff -f lavfi -i "$chirp" -c:a libmp3lame -q:a 4 "$work/minute-vbr.mp3"
for kind in cbr vbr; do
    ff -stream_loop 59 -i "$work/minute-$kind.mp3" -c copy "$work/hour-$kind.mp3"
    read -r first median longest gap bytes < <("$bin" "$work/hour-$kind.mp3" 20)
    awk -v k="$kind" -v f="$first" -v m="$median" -v l="$longest" -v g="$gap" -v b="$bytes" 'BEGIN {
        printf "1-hour %s, zoom step at 1 ms/px: median %.1f ms, slowest %.1f ms (target < 100 ms); first zoom in (seek index made) %.1f ms; longest event-loop gap %.1f ms; detail kept %d bytes\n", toupper(k), m, l, f, g, b
    }'
done
