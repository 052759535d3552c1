#!/usr/bin/env bash
# The cut from the command line, timed as a user runs it (the whole process, start to exit),
# against a peer doing the same work in the same script, alternated, medians of $runs:
# - Direct Save of 90 % of a file against `dd bs=1M conv=fsync` of the same bytes (ratio is
#   dd's time over ours, i.e. our throughput relative to dd's; target >= 0.8);
# - Convert Save of 60 s against the same ffmpeg command run directly (target: ours <= 1.05 x
#   ffmpeg's + 0.15 s).
# Files: CBR 128k, VBR -q:a 2, 320k, MPEG-2 22.05 kHz, with a cover, music-like and speech-like,
# 100 MB and 1 GB (the 1 GB only with SNIPORA_BENCH_LARGE=1: it needs about 3 GB of disk).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
snipora=$SNIPORA_BUILD_DIR/snipora
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -nostdin -hide_banner -v error -y "$@"; }

music="aevalsrc=exprs=0.4*sin(2*PI*(220*t+3*t*t))+0.2*sin(2*PI*(660*t+2*t*t))|0.4*sin(2*PI*(330*t+2*t*t))+0.1*random(0):s=44100:d=60"
# Bursts of noise with pauses between them, as speech has.
speech="aevalsrc=exprs=0.3*random(0)*gt(sin(2*PI*0.7*t)\,0.2):s=44100:d=60"
ff -f lavfi -i "color=c=orange:s=600x600:d=1" -frames:v 1 "$work/cover.png"

# minute NAME SOURCE ENCODER-ARGUMENTS...: one encoded minute.
minute() {
    local name=$1 source=$2
    shift 2
    ff -f lavfi -i "$source" -c:a libmp3lame "$@" "$work/$name-minute.mp3"
}
# grow NAME MEGABYTES: the minute repeated by stream copy up to about that size.
grow() {
    local name=$1 mb=$2 size loops
    size=$(stat -c %s "$work/$name-minute.mp3")
    loops=$(( mb * 1000000 / size ))
    ff -stream_loop "$loops" -i "$work/$name-minute.mp3" -c copy "$work/$name-$mb.mp3"
}
minute cbr128 "$music" -b:a 128k
minute vbr-q2 "$music" -q:a 2
minute cbr320 "$music" -b:a 320k
minute mpeg2 "$music" -b:a 64k -ar 22050
minute speech "$speech" -q:a 2
ff -i "$work/cbr128-minute.mp3" -i "$work/cover.png" -map 0:a -map 1:v -c copy -id3v2_version 3 \
    -metadata:s:v comment="Cover (front)" "$work/cover-minute.mp3"

duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

direct_row() { # NAME MEGABYTES
    local file=$work/$1-$2.mp3 length start end bytes skip
    length=$(duration "$file")
    start=$(awk -v l="$length" 'BEGIN { printf "%.3f", l * 0.05 }')
    end=$(awk -v l="$length" 'BEGIN { printf "%.3f", l * 0.95 }')
    bytes=$(( $(stat -c %s "$file") * 9 / 10 ))
    skip=$(( $(stat -c %s "$file") / 20 ))
    cat "$file" >/dev/null # both read from the page cache
    # A run that failed would time nothing: the cut must succeed before it is timed.
    "$snipora" --cut "$start" "$end" "$file" -o "$work/out.mp3" >/dev/null
    read -r ours peer < <(paired rm -f "$work/out.mp3" -- \
        "$snipora" --cut "$start" "$end" "$file" -o "$work/out.mp3" -- \
        dd if="$file" of="$work/out.mp3" bs=1M iflag=skip_bytes,count_bytes skip="$skip" count="$bytes" conv=fsync)
    row "direct save 90 % of $1 $2 MB" "$ours" "dd bs=1M conv=fsync" "$peer" \
        "$(awk -v a="$ours" -v b="$peer" 'BEGIN { print b / a }')" ">= 0.80"
}

convert_row() { # NAME MEGABYTES
    local file=$work/$1-$2.mp3 start=600 end=660
    rm -f "$work/out.mp3"
    "$snipora" --cut "$start" "$end" "$file" -o "$work/out.mp3" --format MP3 --bitrate 128k >/dev/null
    read -r ours peer < <(paired rm -f "$work/out.mp3" -- \
        "$snipora" --cut "$start" "$end" "$file" -o "$work/out.mp3" --format MP3 --bitrate 128k -- \
        ffmpeg -nostdin -v error -y -ss "$start" -i "$file" -t 60 -vn -c:a libmp3lame -b:a 128k "$work/out.mp3")
    row "convert 60 s of $1 $2 MB to MP3 128k" "$ours" "ffmpeg, same command" "$peer" \
        "$(awk -v a="$ours" -v b="$peer" 'BEGIN { print a / b }')" \
        "<= $(awk -v b="$peer" 'BEGIN { printf "%.2f", (1.05 * b + 0.15) / b }')"
}

table_header
for name in cbr128 vbr-q2 cbr320 mpeg2 speech cover; do
    grow "$name" 100
    direct_row "$name" 100
done
convert_row cbr128 100
convert_row vbr-q2 100
if [ "${SNIPORA_BENCH_LARGE:-0}" = 1 ]; then
    grow cbr320 1000
    direct_row cbr320 1000
fi
