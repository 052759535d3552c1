#!/usr/bin/env bash
# A zoom step at 1 ms a pixel in the middle of a 1-hour CBR and VBR MP3: time until the view has
# painted the decoded samples (target < 100 ms), the window's longest stall meanwhile, and the
# memory of the finest detail kept.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/bench/bench_waveform_zoom
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -nostdin -v error -y "$@"; }
chirp="aevalsrc=exprs=0.5*sin(2*PI*(220*t+3*t*t))|0.4*sin(2*PI*(330*t+2*t*t)):s=44100:d=60"
ff -f lavfi -i "$chirp" -c:a libmp3lame -b:a 128k "$work/minute-cbr.mp3"
ff -f lavfi -i "$chirp" -c:a libmp3lame -q:a 4 "$work/minute-vbr.mp3"
table_header
for kind in cbr vbr; do
    ff -stream_loop 59 -i "$work/minute-$kind.mp3" -c copy "$work/hour-$kind.mp3"
    read -r first median longest gap bytes < <("$bin" "$work/hour-$kind.mp3" 20)
    kind=${kind^^}
    row_value "zoom step at 1 ms/px, 1 h $kind: median" "$(printf '%.1fms' "$median")" "$inside" "" \
        - "< 100ms"
    row_value "  slowest step" "$(printf '%.1fms' "$longest")" "$inside" "" - "< 100ms"
    row_value "  first zoom in (seek index made)" "$(printf '%.1fms' "$first")" "$inside" "" - "-"
    row_value "  longest event-loop gap" "$(printf '%.1fms' "$gap")" "$inside" "" - "-"
    row_value "  detail kept" "${bytes}B" "$inside" "" - "-"
done
