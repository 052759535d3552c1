#!/usr/bin/env bash
# The frame-exact MP3 cut against its peers, and its speed.
# 1. Accuracy over generated files: start and end error in samples (libmpg123, gapless) and decoder
#    warnings (ffmpeg) for our cut, `ffmpeg -ss S -to E -c copy` and `mp3splt -f`, same marks.
# 2. A 100 MB selection cut, check and commit (fdatasync) included, against dd bs=1M conv=fsync of the
#    same byte count. Target: throughput ratio >= 0.8.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/mp3splt-setup"
cut=$SNIPORA_BUILD_DIR/bench/bench_mp3_cut
accuracy=$SNIPORA_BUILD_DIR/bench/bench_mp3_cut_accuracy
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
chirp="aevalsrc=exprs=0.5*sin(2*PI*(220*t+150*t*t))|0.4*sin(2*PI*(330*t+90*t*t)):s=44100:d=6"
encode() { # name codec-arguments...
    local name=$1
    shift
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$chirp" -c:a libmp3lame "$@" "$work/$name.mp3"
}
encode cbr-128k -b:a 128k
encode vbr-xing -q:a 4
encode vbr-no-xing -q:a 4 -write_xing 0
encode mpeg2-22050 -b:a 32k -ar 22050
encode mpeg2-24000 -q:a 6 -ar 24000 -ac 1
encode mpeg25-8000 -b:a 16k -ar 8000
encode mpeg25-11025 -b:a 24k -ar 11025
encode id3v1 -b:a 128k -write_id3v1 1 -metadata title=Chirp

# Warnings of ffmpeg decoding a file; its probe's doubt about files under 7 frames is left out.
warnings() {
    ffmpeg -hide_banner -loglevel warning -i "$1" -f null - 2>&1 | grep -vc "detected only with low score" || true
}
mmss() { # milliseconds -> mp3splt's minutes.seconds.hundredths
    awk -v ms="$1" 'BEGIN { printf "%d.%02d.%02d", ms / 60000, (ms % 60000) / 1000, (ms % 1000) / 10 }'
}
seconds() { awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }

echo "accuracy: start/end error in samples (+ = later), mean difference per sample where it matches,"
echo "libmpg123 failed reads + ffmpeg warnings"
printf '%-14s %-11s | %-22s | %-22s | %-22s\n' file marks snipora "ffmpeg -c copy" "mp3splt -f"
for file in cbr-128k vbr-xing vbr-no-xing mpeg2-22050 mpeg2-24000 mpeg25-8000 mpeg25-11025 id3v1; do
    for marks in "1010 2020" "0 500" "4500 6000" "3000 3050"; do
        read -r s e <<<"$marks"
        src=$work/$file.mp3
        row=()
        # ours
        if "$cut" "$src" "$work/ours.mp3" "$s" "$e" >/dev/null 2>&1; then
            row+=("$(read -r a b m w < <("$accuracy" "$src" "$work/ours.mp3" "$s" "$e"); echo "$a/$b $m $w+$(warnings "$work/ours.mp3")")")
        else
            row+=("failed")
        fi
        ffmpeg -hide_banner -loglevel error -y -i "$src" -ss "$(seconds "$s")" -to "$(seconds "$e")" -c copy "$work/ffmpeg.mp3"
        row+=("$(read -r a b m w < <("$accuracy" "$src" "$work/ffmpeg.mp3" "$s" "$e"); echo "$a/$b $m $w+$(warnings "$work/ffmpeg.mp3")")")
        rm -f "$work"/split*.mp3
        if mp3splt -q -f -d "$work" -o split "$src" "$(mmss "$s")" "$(mmss "$e")" >/dev/null 2>&1 &&
            [ -f "$work/split.mp3" ]; then
            row+=("$(read -r a b m w < <("$accuracy" "$src" "$work/split.mp3" "$s" "$e"); echo "$a/$b $m $w+$(warnings "$work/split.mp3")")")
        else
            row+=("failed")
        fi
        printf '%-14s %-11s | %-22s | %-22s | %-22s\n' "$file" "$s-$e" "${row[@]}"
    done
done

# Speed: a 128 MiB CBR 320 kbps source of concatenated frames; the selection spans 100 MB.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "${chirp%d=6}d=60" -c:a libmp3lame -b:a 320k \
    -write_xing 0 "$work/minute.mp3"
for _ in $(seq 54); do cat "$work/minute.mp3"; done >"$work/source.mp3"
cat "$work/source.mp3" >/dev/null # into the page cache
start_ms=10000
end_ms=$((start_ms + 2500000)) # 2,500 s at 40,000 bytes a second: 100 MB
runs=5
median() { sort -n | sed -n "$(((runs + 1) / 2))p"; }
ours=() dds=()
for _ in $(seq $runs); do
    rm -f "$work/cut.mp3" "$work/dd.mp3"
    read -r t samples frame_bytes out_bytes scan _ < <("$cut" "$work/source.mp3" "$work/cut.mp3" $start_ms $end_ms)
    ours+=("$t")
    begin=$(date +%s%N)
    dd if="$work/source.mp3" of="$work/dd.mp3" bs=1M iflag=skip_bytes,count_bytes \
        skip=400000 count="$frame_bytes" conv=fsync status=none
    finish=$(date +%s%N)
    dds+=("$(awk -v ns=$((finish - begin)) 'BEGIN { printf "%.6f", ns / 1e9 }')")
done
o=$(printf '%s\n' "${ours[@]}" | median)
d=$(printf '%s\n' "${dds[@]}" | median)
awk -v o="$o" -v d="$d" -v bytes="$frame_bytes" -v scan="$scan" 'BEGIN {
    mb = bytes / 1e6
    printf "cut of %.1f MB (median of 5, check and commit included): snipora %.3f s (%.0f MB/s), dd bs=1M conv=fsync %.3f s (%.0f MB/s): throughput ratio %.2f (target >= 0.8)\n", mb, o, mb / o, d, mb / d, d / o
    printf "  the frame map of the 128 MiB source (done once, when the file is opened) took %.3f s\n", scan
}'
