#!/usr/bin/env bash
# Frame clock benchmark, figures not pass/fail: does a long recording keep real time? Records the
# test scene's counter (50 steps a second, read back from the frames) at 15 fps for MINUTES
# (10 by default) with Vidorra.exe, and at the same time with native ffmpeg -f x11grab as the
# reference, then prints for each how far each frame's place in the movie is from the moment the
# scene showed in it, over the first and the last frames, and the drift between them.
#   bench/frame_clock.sh [MINUTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build" wine >/dev/null
export MINUTES=${1:-10} OUT=$root/build/bench
mkdir -p "$OUT"
rm -f "$OUT/clock-vidorra.avi" "$OUT/clock-ffmpeg.mkv"
"$root/tools/wine-session" --size 1024x768 --depth 24 -- bash -c '
    set -euo pipefail
    cd "$VIDORRA_BUILD/bin"
    wine testscene.exe >/dev/null 2>&1 &
    sleep 3
    xdotool mousemove 1000 740
    wine Vidorra.exe -recx -x 0 -y 0 -w 128 -h 128 -f 15 -i- \
        -a "$(winepath -w "$OUT/clock-vidorra.avi")" >/dev/null 2>&1 &
    recorder=$!
    for _ in $(seq 150); do [ -f "$OUT/clock-vidorra.avi" ] && break; sleep 0.2; done
    ffmpeg -v error -nostdin -f x11grab -framerate 15 -video_size 128x128 -i "$DISPLAY+0,0" \
        -t $((MINUTES * 60)) -c:v ffv1 "$OUT/clock-ffmpeg.mkv" &
    grabber=$!
    sleep $((MINUTES * 60))
    xdotool key F2
    timeout 120 tail --pid=$recorder -f /dev/null
    wait $grabber
    wineserver -k
'
python3 "$root/bench/frame_clock.py" "$OUT/clock-vidorra.avi" "$OUT/clock-ffmpeg.mkv"
