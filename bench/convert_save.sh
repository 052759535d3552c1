#!/usr/bin/env bash
# Convert Save as the user runs it: the whole `snipora --cut ... --format MP3 --bitrate 128k` of
# 60 s from the middle of an hour, against the same ffmpeg command run alone, alternated, on a
# spread of sources (SNIPORA_BENCH_CONVERT_KINDS picks some of cbr128 vbr-q2 cbr320 mpeg2 cover).
# Target: overhead <= 5 % of the ffmpeg time + 0.15 s.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/snipora
ffmpeg=$SNIPORA_BUILD_DIR/ffmpeg
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

ff() { "$ffmpeg" -nostdin -v error -y "$@"; }
music="aevalsrc=exprs=0.5*sin(2*PI*(220*t+3*t*t))|0.4*sin(2*PI*(330*t+2*t*t)):s=44100:d=60"
ff -f lavfi -i "$music" "$work/minute.wav"
ff -i "$work/minute.wav" -c:a libmp3lame -b:a 128k "$work/cbr128.mp3"
ff -i "$work/minute.wav" -c:a libmp3lame -q:a 2 "$work/vbr-q2.mp3"
ff -i "$work/minute.wav" -c:a libmp3lame -b:a 320k "$work/cbr320.mp3"
ff -i "$work/minute.wav" -ar 22050 -c:a libmp3lame -b:a 64k "$work/mpeg2.mp3"
ff -f lavfi -i "color=c=red:s=1000x1000:d=1" -frames:v 1 "$work/cover.png"
# An hour of each by stream copy; the cover goes on the hour, as a tagger would put it.
for kind in cbr128 vbr-q2 cbr320 mpeg2; do
    ff -stream_loop 59 -i "$work/$kind.mp3" -c copy "$work/$kind-hour.mp3"
done
ff -i "$work/cbr128-hour.mp3" -i "$work/cover.png" -map 0 -map 1 -c copy -id3v2_version 3 \
    -disposition:v attached_pic "$work/cover-hour.mp3"
cat "$work"/*-hour.mp3 >/dev/null # both sides read from the page cache

table_header
for kind in ${SNIPORA_BENCH_CONVERT_KINDS:-cbr128 vbr-q2 cbr320 mpeg2 cover}; do
    source=$work/$kind-hour.mp3
    # Once first, so that a save that fails is not timed as a fast one.
    "$bin" --cut 600 660 "$source" -o "$work/ours.mp3" --format MP3 --bitrate 128k
    # The command Convert Save runs for 10:00 to 11:00 (encoderCommand), on the source's name
    # instead of the program's open handle.
    read -r ours direct < <(paired rm -f "$work/ours.mp3" "$work/direct.mp3" -- \
        "$bin" --cut 600 660 "$source" -o "$work/ours.mp3" --format MP3 --bitrate 128k -- \
        "$ffmpeg" -nostdin -ss 599.5 -i "$source" -map 0:a -map '0:v?' -c:v copy \
        -disposition:v attached_pic -af atrim=start=0.5:duration=60,asetpts=PTS-STARTPTS \
        -ab 128k -progress pipe:1 "$work/direct.mp3")
    limit=$(awk -v d="$direct" 'BEGIN { printf "%.4f", 1.05 * d + 0.15 }')
    row "convert 60 s of 1 h $kind to MP3 128k" "$ours" "ffmpeg, same command" "$direct" \
        "$(ratio "$ours" "$direct")" "<= $(awk -v l="$limit" -v d="$direct" 'BEGIN { printf "%.2f", l / d }')"
    row_value "  overhead over ffmpeg" "$(awk -v a="$ours" -v b="$direct" 'BEGIN { printf "%.3fs", a - b }')" \
        - "" - "<= $(awk -v d="$direct" 'BEGIN { printf "%.3f", 0.05 * d + 0.15 }')s"
done
