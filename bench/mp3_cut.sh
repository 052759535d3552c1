#!/usr/bin/env bash
# The frame-exact MP3 cut against its peers, and its speed.
# 1. Accuracy over generated files: start and end error in samples (libmpg123, gapless) and decoder
#    warnings (ffmpeg) for our cut, `ffmpeg -ss S -to E -c copy` and `mp3splt -f`, same marks.
# 2. A 100 MB selection cut, check and commit (fdatasync) included, against dd bs=1M conv=fsync of the
#    same byte count. Target: throughput ratio >= 0.8.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
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

# judge SOURCE CUT START END: "start-error end-error mean-difference complaints" (failed reads +
# warnings), or "failed" when there is no cut to judge.
judge() {
    [ -f "$2" ] || { echo failed; return; }
    local a b m w
    read -r a b m w < <("$accuracy" "$1" "$2" "$3" "$4")
    echo "$a $b $m $((w + $(warnings "$2")))"
}
# Per tool (snipora, ffmpeg, mp3splt): cuts exact at both marks, decoder complaints, failed cuts.
exact=(0 0 0) complaints=(0 0 0) failures=(0 0 0) cases=0
# The cases in detail only when the script runs alone; in bench/run's table, their tallies.
detail=
[ -n "${SNIPORA_BENCH_TABLE:-}" ] || detail=1
if [ -n "$detail" ]; then
    echo "accuracy: start/end error in samples (+ = later), mean difference per sample where it matches,"
    echo "libmpg123 failed reads + ffmpeg warnings"
    printf '%-14s %-11s | %-22s | %-22s | %-22s\n' file marks snipora "ffmpeg -c copy" "mp3splt -f"
fi
for file in cbr-128k vbr-xing vbr-no-xing mpeg2-22050 mpeg2-24000 mpeg25-8000 mpeg25-11025 id3v1; do
    for marks in "1010 2020" "0 500" "4500 6000" "3000 3050"; do
        read -r s e <<<"$marks"
        src=$work/$file.mp3
        rm -f "$work/ours.mp3" "$work/ffmpeg.mp3" "$work"/split*.mp3
        "$cut" "$src" "$work/ours.mp3" "$s" "$e" >/dev/null 2>&1 || rm -f "$work/ours.mp3"
        ffmpeg -hide_banner -loglevel error -y -i "$src" -ss "$(seconds "$s")" -to "$(seconds "$e")" -c copy "$work/ffmpeg.mp3"
        mp3splt -q -f -d "$work" -o split "$src" "$(mmss "$s")" "$(mmss "$e")" >/dev/null 2>&1 ||
            rm -f "$work"/split*.mp3
        cells=()
        i=0
        for out in ours ffmpeg split; do
            read -r a b m c < <(judge "$src" "$work/$out.mp3" "$s" "$e")
            if [ "$a" = failed ]; then
                cells+=(failed)
                failures[i]=$((failures[i] + 1))
            else
                cells+=("$a/$b $m $c")
                [ "$a" != 0 ] || [ "$b" != 0 ] || exact[i]=$((exact[i] + 1))
                complaints[i]=$((complaints[i] + c))
            fi
            i=$((i + 1))
        done
        cases=$((cases + 1))
        [ -z "$detail" ] || printf '%-14s %-11s | %-22s | %-22s | %-22s\n' "$file" "$s-$e" "${cells[@]}"
    done
done
table_header
peers=("ffmpeg -ss -to -c copy" "mp3splt -f")
for i in 1 2; do
    row_value "cuts exact at both marks, of $cases (8 kinds of file)" "${exact[0]}" "${peers[i - 1]}" \
        "${exact[i]}" - "$cases"
    row_value "  decoder complaints in those cuts" "${complaints[0]}" "${peers[i - 1]}" \
        "${complaints[i]}" - "0"
    row_value "  cuts that failed" "${failures[0]}" "${peers[i - 1]}" "${failures[i]}" - "0"
done

# Speed: a 128 MiB CBR 320 kbps source of concatenated frames; the selection spans 100 MB.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "${chirp%d=6}d=60" -c:a libmp3lame -b:a 320k \
    -write_xing 0 "$work/minute.mp3"
for _ in $(seq 54); do cat "$work/minute.mp3"; done >"$work/source.mp3"
cat "$work/source.mp3" >/dev/null # into the page cache
start_ms=10000
end_ms=$((start_ms + 2500000)) # 2,500 s at 40,000 bytes a second: 100 MB
ours=() dds=()
for _ in $(seq "$runs"); do
    rm -f "$work/cut.mp3" "$work/dd.mp3"
    read -r t _ frame_bytes _ scan _ < <("$cut" "$work/source.mp3" "$work/cut.mp3" $start_ms $end_ms)
    ours+=("$t")
    dds+=("$(wall_seconds dd if="$work/source.mp3" of="$work/dd.mp3" bs=1M iflag=skip_bytes,count_bytes \
        skip=400000 count="$frame_bytes" conv=fsync status=none)")
done
o=$(printf '%s\n' "${ours[@]}" | median)
d=$(printf '%s\n' "${dds[@]}" | median)
mb=$(awk -v b="$frame_bytes" 'BEGIN { printf "%.1f", b / 1e6 }')
row "cut of $mb MB, check + commit (in-process)" "$o" "dd bs=1M conv=fsync" "$d" "$(ratio "$d" "$o")" \
    ">= 0.80"
row_value "  frame map of the 128 MiB source, at open" "$(printf '%.3fs' "$scan")" "$inside" "" - "-"
