#!/usr/bin/env bash
# Playing as the user runs it: the program's window shown (Xvfb) and its sound going to a sound
# server (PulseAudio, a null sink), against mpg123 playing the same file to the same server.
# CPU of the whole process while playing (target <= 2x mpg123), and the time from starting the
# program on a file to its first sound reaching the server (target <= 150 ms).
# SNIPORA_BENCH_PLAY_KINDS and SNIPORA_BENCH_SOUND_KINDS choose the files (cbr128 vbr-q2 vbr-V2
# cbr320 mpeg2 cover) for the two figures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.bash"
bin=$SNIPORA_BUILD_DIR/snipora
play_seconds=${SNIPORA_BENCH_PLAY_SECONDS:-10}
# Left out of the CPU figure: the waveform scan and the sound server's start.
settle_seconds=${SNIPORA_BENCH_SETTLE_SECONDS:-6}
for tool in Xvfb pulseaudio parec mpg123 lame; do
    command -v "$tool" >/dev/null || { echo "playing.sh: $tool is missing (scripts/setup)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/snipora-bench.XXXXXX")
xvfb_pid=
stop_all() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    env HOME="$work" XDG_RUNTIME_DIR="$work" pulseaudio --kill 2>/dev/null || true
    rm -rf "$work"
}
trap stop_all EXIT

# A sound server of our own, as .ci/run makes one: nothing of the machine's sound set-up used.
env HOME="$work" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work" pulseaudio -D \
    --exit-idle-time=-1 -n --log-target=file:"$work/pulse.log" \
    --load="module-null-sink sink_name=bench norewinds=1" \
    --load="module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1"
for _ in $(seq 50); do [ -S "$work/pulse.sock" ] && break; sleep 0.1; done
export PULSE_SERVER="unix:$work/pulse.sock"
# A display of our own, on the first free number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY SNIPORA_AUDIO_OUTPUT=sink
unset QT_QPA_PLATFORM
# Settings of its own, so that a saved window place or folder changes nothing.
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"

ff() { ffmpeg -nostdin -v error -y "$@"; }
music="aevalsrc=exprs=0.5*sin(2*PI*(220*t+3*t*t))|0.4*sin(2*PI*(330*t+2*t*t)):s=44100:d=60"
ff -f lavfi -i "$music" "$work/minute.wav"
ff -i "$work/minute.wav" -c:a libmp3lame -b:a 128k "$work/cbr128.mp3"
ff -i "$work/minute.wav" -c:a libmp3lame -q:a 2 "$work/vbr-q2.mp3"
lame --quiet -V 2 "$work/minute.wav" "$work/vbr-V2.mp3"
ff -i "$work/minute.wav" -c:a libmp3lame -b:a 320k "$work/cbr320.mp3"
ff -i "$work/minute.wav" -ar 22050 -c:a libmp3lame -b:a 64k "$work/mpeg2.mp3"
ff -f lavfi -i "color=c=red:s=1000x1000:d=1" -frames:v 1 "$work/cover.png"
ff -i "$work/cbr128.mp3" -i "$work/cover.png" -map 0 -map 1 -c copy -id3v2_version 3 \
    -disposition:v attached_pic "$work/cover.mp3"
# An hour of each by stream copy.
for kind in cbr128 vbr-q2 vbr-V2 cbr320 mpeg2 cover; do
    ff -stream_loop 59 -i "$work/$kind.mp3" -map 0:a -c copy "$work/$kind-hour.mp3"
done
cat "$work"/*.mp3 >/dev/null # both sides read from the page cache

# CPU of one core taken by the command while it plays: the process's own time over
# $play_seconds, after $settle_seconds.
cpu_share() {
    "$@" >/dev/null 2>&1 &
    local pid=$! a b start end
    sleep "$settle_seconds"
    a=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    start=$(date +%s%N)
    sleep "$play_seconds"
    b=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    end=$(date +%s%N)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    awk -v a="$a" -v b="$b" -v s="$start" -v e="$end" -v hz="$(getconf CLK_TCK)" \
        'BEGIN { printf "%.5f\n", (b - a) / hz / ((e - s) / 1e9) }'
}

# Seconds from starting the command to the first sample that is not silent reaching the server
# (read back from the null sink's monitor).
first_sound() {
    stdbuf -o0 parec --raw --format=s16le --channels=2 --rate=44100 --latency-msec=2 \
        -d bench.monitor 2>/dev/null | stdbuf -o0 od -An -v -tx1 -w32 |
        awk '/[1-9a-f]/ { exit }' &
    local listener=$! start end
    sleep 0.5 # the monitor is read before the command starts
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 &
    local pid=$!
    wait "$listener" || true
    end=$(date +%s%N)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }'
}

# alternated MEASURE FILE: ours and mpg123 in turn, $runs times; "ours-median peer-median".
alternated() {
    local a=() b=()
    for _ in $(seq "$runs"); do
        a+=("$("$1" "$bin" "$2")")
        b+=("$("$1" mpg123 -q -o pulse "$2")")
    done
    echo "$(printf '%s\n' "${a[@]}" | median) $(printf '%s\n' "${b[@]}" | median)"
}

percent() { awk -v v="$1" 'BEGIN { printf "%.2f%%", v * 100 }'; }
table_header
for kind in ${SNIPORA_BENCH_PLAY_KINDS:-cbr128 vbr-q2 mpeg2}; do
    read -r ours theirs < <(alternated cpu_share "$work/$kind-hour.mp3")
    row_value "CPU playing, window shown, 1 h $kind" "$(percent "$ours")" \
        "mpg123 -o pulse, same server" "$(percent "$theirs")" "$(ratio "$ours" "$theirs")" "<= 2"
done
for kind in ${SNIPORA_BENCH_SOUND_KINDS:-cbr128 vbr-q2 vbr-V2 cbr320 mpeg2 cover}; do
    for length in 1min 1h; do
        file=$work/$kind.mp3
        [ "$length" = 1min ] || file=$work/$kind-hour.mp3
        read -r ours theirs < <(alternated first_sound "$file")
        row_value "start on a file to first sound, $length $kind" \
            "$(awk -v s="$ours" 'BEGIN { printf "%.0fms", s * 1000 }')" "mpg123 -o pulse" \
            "$(awk -v s="$theirs" 'BEGIN { printf "%.0fms", s * 1000 }')" \
            "$(ratio "$ours" "$theirs")" "<= 150ms"
    done
done
