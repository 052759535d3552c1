#!/usr/bin/env bash
# The waveform overview, whole file drawn, as a whole process against `ffmpeg -i f -f null -` on the
# same file, alternated, median of $SNIPORA_BENCH_RUNS (target <= 0.35x on every kind of file); the
# same file opened again (its peaks from the cache); the first picture of the whole file (from the
# frames' global gains, target about 1 % of the decode); the longest the UI thread's event loop
# waited; and the memory of a 10-hour file's peaks (target <= 4 MB).
# SNIPORA_BENCH_WAVEFORM_LONG=0 leaves out the 10-hour file's timing (its ffmpeg runs take minutes).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/bench/bench_waveform
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
# The peaks cache of these runs, emptied before each cold run.
export XDG_CACHE_HOME=$work/cache

ff() { ffmpeg -nostdin -v error -y "$@"; }
# Music-like: two tones, one swelling, over noise that rises and falls. Speech-like: noise in
# bursts with pauses between them, voiced by a low tone.
music="aevalsrc=exprs=0.3*sin(2*PI*(220*t+3*t*t))+0.25*sin(2*PI*440*t)*(0.5+0.5*sin(2*PI*2*t))+0.15*(random(0)*2-1)*(0.5+0.5*sin(2*PI*0.25*t)):s=44100:d=60"
speech="aevalsrc=exprs=0.5*(random(0)*2-1)*gt(sin(2*PI*0.7*t)+sin(2*PI*3.1*t)\,0.3)*(0.6+0.4*sin(2*PI*170*t)):s=44100:d=60"
# One encoded minute of each kind, repeated by stream copy: an hour of MP3 in seconds.
minute() { # name source codec-options...
    local name=$1 source=$2
    shift 2
    ff -f lavfi -i "$source" "$@" "$work/$name.minute.mp3"
}
minute music-cbr128 "$music" -ac 2 -c:a libmp3lame -b:a 128k
minute music-vbr-q2 "$music" -ac 2 -c:a libmp3lame -q:a 2
minute music-cbr320 "$music" -ac 2 -c:a libmp3lame -b:a 320k
minute music-mpeg2 "$music" -ac 1 -ar 22050 -c:a libmp3lame -b:a 64k
minute speech-vbr-q2 "$speech" -ac 1 -c:a libmp3lame -q:a 2
minute speech-cbr64 "$speech" -ac 1 -c:a libmp3lame -b:a 64k
ff -f lavfi -i "$music" -ac 2 -f wav - | lame --quiet -V 2 - "$work/music-lame-V2.minute.mp3"
for minute in "$work"/*.minute.mp3; do
    ff -stream_loop 59 -i "$minute" -c copy "${minute%.minute.mp3}.hour.mp3"
done
cp "$work/music-vbr-q2.minute.mp3" "$work/music-vbr-q2.one-minute.mp3"
ff -f lavfi -i "testsrc=s=1500x1500:d=1" -frames:v 1 "$work/cover.png"
ff -i "$work/music-vbr-q2.hour.mp3" -i "$work/cover.png" -map 0 -map 1 -c copy -id3v2_version 3 \
    -disposition:v attached_pic "$work/music-vbr-q2-cover.hour.mp3"
# Ten hours at 32k: as many frames as at any bitrate, in a quarter of the disk.
ff -f lavfi -i "$music" -ac 2 -c:a libmp3lame -b:a 32k "$work/music-32k.minute.mp3"
ff -stream_loop 599 -i "$work/music-32k.minute.mp3" -c copy "$work/music-32k.ten-hours.mp3"
cat "$work"/*.mp3 >/dev/null # both sides read from the page cache

cold() { rm -rf "$XDG_CACHE_HOME"; }
table_header
files=("$work"/*.hour.mp3 "$work/music-vbr-q2.one-minute.mp3")
[ "${SNIPORA_BENCH_WAVEFORM_LONG:-1}" = 0 ] || files+=("$work/music-32k.ten-hours.mp3")
declare -A decode
for file in "${files[@]}"; do
    name=$(basename "$file" .mp3)
    read -r ours peer < <(paired cold -- "$bin" ready "$file" 1 -- \
        ffmpeg -nostdin -v error -i "$file" -f null -)
    decode[$file]=$peer
    row "waveform drawn, $name" "$ours" "ffmpeg -f null" "$peer" "$(ratio "$ours" "$peer")" "<= 0.35"
done
file=$work/music-vbr-q2.hour.mp3
"$bin" ready "$file" 1 >/dev/null # fills the cache
read -r ours peer < <(paired -- "$bin" ready "$file" 1 -- ffmpeg -nostdin -v error -i "$file" -f null -)
row "  the same opened again (from the cache)" "$ours" "ffmpeg -f null" "$peer" \
    "$(ratio "$ours" "$peer")" "-"

# Each run cold: within one process the second run would find the first one's peaks cached.
runs_out=$(for _ in 1 2 3; do
    cold
    "$bin" ready "$file" 1
done)
gap=$(awk '{ print $3 }' <<<"$runs_out" | sort -g | tail -n 1)
first=$(awk '{ print $5 }' <<<"$runs_out" | median)
row "  first picture of the whole file (in-process)" "$first" "ffmpeg -f null" "${decode[$file]}" \
    "$(ratio "$first" "${decode[$file]}")" "about 0.01"
row_value "  longest event-loop gap meanwhile (1 ms timer)" "$(printf '%.2fms' "$gap")" "$inside" "" \
    - "<= 16ms"
cold
read -r bytes covered < <("$bin" memory "$work/music-32k.ten-hours.mp3")
row_value "peaks of 10 h ($(awk -v c="$covered" 'BEGIN { printf "%.2f", c / 3600000 }') h covered)" \
    "$(awk -v b="$bytes" 'BEGIN { printf "%.3fMB", b / 1e6 }')" "$inside" "" - "<= 4MB"
