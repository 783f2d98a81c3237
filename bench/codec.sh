#!/usr/bin/env bash
# Screen codec benchmark, figures not pass/fail:  bench/codec.sh [CLIP...]
# For each clip (any file ffmpeg reads; with none, two clips recorded here in a Wine session at
# 1024x768, 15 fps: text typed into Notepad, and a long text scrolled), every frame is encoded
# by our encoder on one thread and on two (as the recorder does on a two-core machine) and, side
# by side, on one thread each, by ffmpeg's zmbv (levels 9 and 1), libx264rgb at qp 0 (veryfast,
# ultrafast), ffv1 and utvideo. Printed: MiB per minute of movie, frames encoded per second
# (processor time on one thread; ours on two by the clock), and whether every decoded frame
# matches the clip (md5 per frame of its colours).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup"
out=$root/build/bench/codec
mkdir -p "$out"
# Our encoder as the program builds it: optimised, no sanitizers.
g++ -std=c++20 -O2 -I"$root/src" -I"$root/tests/unit" "$root/bench/codec_bench.cpp" \
    "$root"/src/codec/zmbv_encoder.cpp "$root"/src/codec/zlib_stream.cpp \
    "$root"/src/codec/worker_pool.cpp -pthread \
    /usr/lib/x86_64-linux-gnu/libz.a -o "$out/codec_bench"

clips=("$@")
if [ ${#clips[@]} -eq 0 ]; then
    export OUT=$out
    seq 1 3000 | sed 's/^/Line of a long text that scrolls past, number /' >"$out/long.txt"
    "$root/tools/wine-session" --size 1024x768 --depth 24 -- bash -c '
        set -euo pipefail
        grab() { # name seconds
            ffmpeg -v error -y -f x11grab -framerate 15 -video_size 1024x768 -i "$DISPLAY" \
                -t "$2" -c:v ffv1 "$OUT/$1.mkv" </dev/null &
            grabber=$!
        }
        wine notepad >/dev/null 2>&1 &
        sleep 4
        grab typing 30
        sleep 1
        xdotool type --delay 120 "Dear team, the screen codec keeps every pixel of this text exact while it is typed, one key at a time, and the movie stays small. $(seq -s " " 1 40)"
        wait "$grabber" || true
        wineserver -k || true
        sleep 1
        wine notepad "$(winepath -w "$OUT/long.txt")" >/dev/null 2>&1 &
        sleep 4
        # The caret to the last line shown, so that every further line down scrolls the text.
        xdotool key --repeat 34 --delay 20 Down
        grab scrolling 30
        sleep 1
        xdotool key --repeat 400 --delay 60 Down
        wait "$grabber" || true
        wineserver -k || true
    '
    clips=("$out/typing.mkv" "$out/scrolling.mkv")
fi

mib_per_minute() { # bytes frames fps
    echo "$1 / ($2 / $3) * 60 / 1048576" | bc -l
}
md5s() { # file [input options...]: the frame md5 column of ffmpeg's framemd5
    local f=$1; shift
    ffmpeg -v error -nostdin "$@" -i "$f" -map 0:v:0 -pix_fmt rgb24 -f framemd5 - |
        grep -v '^#' | awk -F, '{print $NF}'
}

for clip in "${clips[@]}"; do
    read -r w h rate < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate \
        -of csv=p=0 "$clip" | tr ',' ' ')
    fps=$(echo "$rate" | bc -l)
    raw=$out/clip.raw
    ffmpeg -v error -nostdin -y -i "$clip" -map 0:v:0 -pix_fmt bgr0 -f rawvideo "$raw"
    md5s "$raw" -f rawvideo -pix_fmt bgr0 -s "${w}x$h" -r "$rate" >"$out/clip.md5"
    frames=$(wc -l <"$out/clip.md5")
    echo "== $(basename "$clip"): ${w}x$h, $frames frames at $rate fps"
    printf "%-24s %12s %10s %9s\n" encoder "MiB/minute" "frames/s" lossless

    for threads in 1 2; do
        read -r n secs bytes < <("$out/codec_bench" "$raw" "$w" "$h" "${fps%.*}" "$out/ours.avi" \
            4 "$threads")
        md5s "$out/ours.avi" >"$out/ours.md5"
        same=$(cmp -s "$out/clip.md5" "$out/ours.md5" && echo yes || echo NO)
        printf "%-24s %12.2f %10.1f %9s\n" "ours (zmbv), $threads thread$([ "$threads" = 1 ] || echo s)" \
            "$(mib_per_minute "$bytes" "$n" "$fps")" "$(echo "$n / $secs" | bc -l)" "$same"
    done

    while IFS='|' read -r name ext args; do
        enc=$out/ffmpeg.$ext
        # shellcheck disable=SC2086
        bench=$(ffmpeg -hide_banner -nostats -benchmark -nostdin -y -threads 1 -f rawvideo -pix_fmt bgr0 \
            -s "${w}x$h" -r "$rate" -i "$raw" $args -threads 1 "$enc" 2>&1 | grep -o 'utime=[0-9.]*' |
            cut -d= -f2)
        md5s "$enc" >"$out/ffmpeg.md5"
        same=$(cmp -s "$out/clip.md5" "$out/ffmpeg.md5" && echo yes || echo NO)
        size=$(stat -c %s "$enc")
        printf "%-24s %12.2f %10.1f %9s\n" "$name" "$(mib_per_minute "$size" "$frames" "$fps")" \
            "$(echo "$frames / $bench" | bc -l)" "$same"
    done <<'LIST'
ffmpeg zmbv level 9|avi|-c:v zmbv -compression_level 9
ffmpeg zmbv level 1|avi|-c:v zmbv -compression_level 1
libx264rgb qp0 veryfast|mkv|-c:v libx264rgb -qp 0 -preset veryfast
libx264rgb qp0 ultrafast|mkv|-c:v libx264rgb -qp 0 -preset ultrafast
ffv1|mkv|-c:v ffv1
utvideo|avi|-c:v utvideo
LIST
done
