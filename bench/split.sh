#!/usr/bin/env bash
# Splitting many pieces, timed as a user runs it, against the peers doing the same work:
# - a 1-hour file into 20 pieces by cue sheet, against `mp3splt -c` (time; and at each seam, the
#   samples of the joined pieces that differ from the source within 1 s of it, both decoded by
#   ffmpeg, plus the samples the whole join gains or loses; target 0);
# - pause detection on a 1-hour file with 120 pauses, against ffmpeg's silencedetect at the same
#   threshold and minimum (time, and the pauses each finds; ours also writes the pieces).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
"$here/mp3splt-setup"
snipora=$SNIPORA_BUILD_DIR/snipora
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -nostdin -hide_banner -v error -y "$@"; }

music="aevalsrc=exprs=0.4*sin(2*PI*(220*t+3*t*t))+0.1*random(0)|0.4*sin(2*PI*(330*t+2*t*t))+0.1*random(0):s=44100:d=60"
# 20 s of bursts, then 1 s of silence: 120 pauses an hour.
speech="aevalsrc=exprs=0.3*random(0)*gt(sin(2*PI*0.7*t)\,-0.9)*lt(mod(t\,30)\,29):s=44100:d=60"
hour() { # NAME SOURCE ENCODER-ARGUMENTS...
    local name=$1 source=$2
    shift 2
    ff -f lavfi -i "$source" -c:a libmp3lame "$@" "$work/$name-minute.mp3"
    ff -stream_loop 59 -i "$work/$name-minute.mp3" -c copy "$work/$name.mp3"
}
hour music "$music" -b:a 192k
hour speech "$speech" -q:a 4

# Tracks every 3 minutes, each a few cue frames off the minute.
{
    echo 'TITLE "Bench"'
    echo 'FILE "music.wav" WAVE'
    for n in $(seq 1 20); do
        printf '  TRACK %02d AUDIO\n    TITLE "Track %d"\n    INDEX 01 %02d:%02d:%02d\n' \
            "$n" "$n" $(( (n - 1) * 3 )) $(( n * 7 % 60 )) $(( n * 13 % 75 ))
    done
} >"$work/music.cue"
sed -i 's/INDEX 01 00:07:13/INDEX 01 00:00:00/' "$work/music.cue"

# seams FOLDER: decodes the pieces in name order, joined, and compares with the source.
ff -i "$work/music.mp3" -f s16le "$work/source.raw"
seams() {
    local folder=$1
    : >"$work/joined.raw"
    : >"$work/lengths"
    for piece in "$folder"/*.mp3; do
        ff -i "$piece" -f s16le "$work/piece.raw"
        stat -c %s "$work/piece.raw" >>"$work/lengths"
        cat "$work/piece.raw" >>"$work/joined.raw"
    done
    python3 - "$work/source.raw" "$work/joined.raw" "$work/lengths" <<'PY'
import array, os, sys
source, joined, lengths = sys.argv[1:4]
window = 44100 * 2 * 2  # 1 s of 16-bit stereo, in bytes
differing = 0
with open(source, "rb") as a, open(joined, "rb") as b:
    at = 0
    for length in [int(line) for line in open(lengths)][:-1]:
        at += length
        for f in (a, b):
            f.seek(max(at - window, 0))
        x, y = array.array("h"), array.array("h")
        x.frombytes(a.read(2 * window))
        y.frombytes(b.read(2 * window))
        differing += sum(1 for i in range(min(len(x), len(y))) if x[i] != y[i])
gained = (os.path.getsize(joined) - os.path.getsize(source)) // 2
print(differing, gained)
PY
}

table_header
cat "$work/music.mp3" >/dev/null
read -r ours peer < <(paired rm -rf "$work/ours" "$work/peer" -- \
    "$snipora" --split "$work/music.mp3" --cue "$work/music.cue" -o "$work/ours" -- \
    mp3splt -q -c "$work/music.cue" -d "$work/peer" -o @n "$work/music.mp3")
row "split 1 h 192k into 20 by cue sheet" "$ours" "mp3splt -c" "$peer" \
    "$(awk -v a="$ours" -v b="$peer" 'BEGIN { print b / a }')" "(peer / ours)"
rm -rf "$work/ours" "$work/peer"
"$snipora" --split "$work/music.mp3" --cue "$work/music.cue" -o "$work/ours" >/dev/null
mp3splt -q -c "$work/music.cue" -d "$work/peer" -o @n "$work/music.mp3" >/dev/null
read -r ours_wrong ours_gained < <(seams "$work/ours")
read -r peer_wrong peer_gained < <(seams "$work/peer")
row_value "  samples wrong within 1 s of the 19 seams" "$ours_wrong" "mp3splt -c" "$peer_wrong" - "0"
row_value "  samples the join gains (+) or loses (-)" "$ours_gained" "mp3splt -c" "$peer_gained" - "0"

cat "$work/speech.mp3" >/dev/null
read -r ours peer < <(paired rm -rf "$work/pauses" -- \
    "$snipora" --split "$work/speech.mp3" --pauses -o "$work/pauses" -- \
    ffmpeg -nostdin -v info -i "$work/speech.mp3" -af silencedetect=n=-40dB:d=0.8 -f null -)
row "find pauses in 1 h and split there" "$ours" "ffmpeg silencedetect" "$peer" \
    "$(awk -v a="$ours" -v b="$peer" 'BEGIN { print b / a }')" "(peer / ours)"
rm -rf "$work/pauses"
ours_found=$(( $("$snipora" --split "$work/speech.mp3" --pauses -o "$work/pauses" | wc -l) - 1 ))
peer_found=$(ffmpeg -nostdin -v info -i "$work/speech.mp3" -af silencedetect=n=-40dB:d=0.8 \
    -f null - 2>&1 | grep -c silence_end || true)
# Ours counts the pauses between sounds; silencedetect also counts a silence at the very end.
row_value "  pauses found" "$ours_found" "ffmpeg silencedetect" "$peer_found" - "-"
