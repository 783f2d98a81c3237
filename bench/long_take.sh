#!/usr/bin/env bash
# Long-take benchmark, figures not pass/fail: Vidorra.exe records the whole 1024x768x24 screen
# with the test scene moving on it, for MINUTES (default 10) at RATE frames per second (default
# 60), with no compressor chosen (so our lossless screen codec), and prints
#   - frames written and dropped, and the movie's size in MiB per minute of movie;
#   - the engine's own cost per timer tick and per frame written (mean and worst, from the
#     program's timing log), beside the bare capture loop (BitBlt of the same screen, and with
#     the cursor drawn) measured in the same session.
#   bench/long_take.sh [MINUTES] [RATE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build" wine >/dev/null
export MINUTES=${1:-10} RATE=${2:-60} OUT=$root/build/bench
mkdir -p "$OUT"
rm -f "$OUT/long_take.avi" "$OUT/timing.log"
"$root/tools/wine-session" --size 1024x768 --depth 24 -- bash -c '
    set -euo pipefail
    export LC_ALL=C # figures printed with a decimal point, as bc gives them
    cd "$VIDORRA_BUILD/bin"
    wine testscene.exe >/dev/null 2>&1 &
    sleep 3
    read -r _ bare cursor _ < <(wine capture_bench.exe 100 "$(winepath -w "$OUT/loop.avi")" |
        tr -d "\r" | grep "^1024x768 ")
    avi=$OUT/long_take.avi
    VIDORRA_TIMING_LOG=$(winepath -w "$OUT/timing.log") wine Vidorra.exe -recx -x 0 -y 0 \
        -w 1024 -h 768 -f "$RATE" -i- -a "$(winepath -w "$avi")" >/dev/null 2>&1 &
    vidorra=$!
    for _ in $(seq 150); do [ -f "$avi" ] && break; sleep 0.2; done
    sleep $((MINUTES * 60))
    xdotool mousemove 1000 740 key F2
    wait $vidorra || true
    read -r codec frames < <(ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=codec_name,nb_read_packets -of csv=p=0 "$avi" | tr "," " ")
    bytes=$(stat -c %s "$avi")
    echo "full screen 1024x768x32, $RATE fps for $MINUTES min, codec $codec"
    read -r _ ticks tick_mean tick_worst _ _ cap_mean cap_worst _ writes write_mean write_worst \
        _ _ comp_mean comp_worst _ written _ dropped < <(tr -d "\r" < "$OUT/timing.log")
    printf "frames written %d (ffprobe %d), dropped %d\n" "$written" "$frames" "$dropped"
    awk -v b="$bytes" -v f="$frames" -v r="$RATE" \
        "BEGIN { printf \"size %.1f MiB, %.2f MiB per minute of movie\\n\", b / 1048576, b / 1048576 / (f / r / 60) }"
    printf "%-34s %9s %9s\n" "ms" mean worst
    printf "%-34s %9.3f %9s\n" "bare capture loop (BitBlt)" "$bare" -
    printf "%-34s %9.3f %9s\n" "bare capture loop with cursor" "$cursor" -
    printf "%-34s %9.3f %9.3f\n" "engine tick ($ticks)" "$tick_mean" "$tick_worst"
    printf "%-34s %9.3f %9.3f\n" "  of it the region and cursor" "$cap_mean" "$cap_worst"
    printf "%-34s %9.3f %9.3f\n" "engine write ($writes)" "$write_mean" "$write_worst"
    printf "%-34s %9.3f %9.3f\n" "  of it compressing" "$comp_mean" "$comp_worst"
    rm -f "$avi" "$OUT/loop.avi"
'
