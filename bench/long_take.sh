#!/usr/bin/env bash
# Long-take benchmark, figures not pass/fail: Vidorra.exe records the whole screen of SIZE
# (default 1024x768, 24 bits) with the test scene moving on it, for SECONDS (default 20) at each
# RATE (default 15, 30 and 60 frames per second), with no compressor chosen (so our lossless
# screen codec), and prints a line per rate: frames written and dropped, MiB per minute of
# movie, the engine's cost per timer tick (of it the region and the cursor) and per frame
# written (of it compressing), mean and worst, from the program's timing log. Beside them, in
# the same session: the bare capture loop (BitBlt of the same screen, and with the cursor drawn)
# and ffmpeg's x11grab taking the same screen at each rate (frames it got, its processor time).
# Each rate is recorded twice: with the input shown in the frames off, and with clicks and keys
# on (the hooks installed, no input coming), to show what they cost a tick.
#   bench/long_take.sh [SIZE [SECONDS [RATE...]]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build" wine >/dev/null
export SIZE=${1:-1024x768} SECONDS_EACH=${2:-20} OUT=$root/build/bench
shift $(($# > 2 ? 2 : $#))
export RATES=${*:-15 30 60}
[[ $SIZE =~ ^[0-9]+x[0-9]+$ ]] || { echo "usage: bench/long_take.sh [WxH [SECONDS [RATE...]]]" >&2; exit 2; }
mkdir -p "$OUT"
rm -f "$OUT/long_take.avi" "$OUT/timing.log"
"$root/tools/wine-session" --size "$SIZE" --depth 24 -- bash -c '
    set -euo pipefail
    export LC_ALL=C # figures printed with a decimal point, as bc gives them
    cd "$VIDORRA_BUILD/bin"
    w=${SIZE%x*} h=${SIZE#*x}
    wine testscene.exe >/dev/null 2>&1 &
    sleep 3
    read -r _ bare cursor _ < <(wine capture_bench.exe 30 "$(winepath -w "$OUT/loop.avi")" |
        tr -d "\r" | grep "^$SIZE ")
    echo "full screen ${SIZE}x32, $SECONDS_EACH s per rate, no compressor chosen (our codec)"
    printf "bare capture loop: %.1f ms per BitBlt, %.1f ms with the cursor\n" "$bare" "$cursor"
    printf "%6s %5s %8s %8s %9s %23s %23s %18s\n" asked input written dropped MiB/min \
        "tick mean/worst (copy)" "write mean/worst (comp)" "x11grab got, ms"
    avi=$OUT/long_take.avi
    for rate in $RATES; do
      for input in off on; do
        rm -f "$avi" "$OUT/timing.log"
        shown=(-hc- -sk-)
        [ "$input" = on ] && shown=(-hc+ -sk+)
        VIDORRA_TIMING_LOG=$(winepath -w "$OUT/timing.log") wine Vidorra.exe -recx -x 0 -y 0 \
            -w "$w" -h "$h" -f "$rate" -i- "${shown[@]}" -a "$(winepath -w "$avi")" >/dev/null 2>&1 &
        vidorra=$!
        for _ in $(seq 150); do [ -f "$avi" ] && break; sleep 0.2; done
        sleep "$SECONDS_EACH"
        xdotool mousemove $((w - 24)) $((h - 28)) key F2
        wait $vidorra || true
        frames=$(ffprobe -v error -select_streams v:0 -count_packets \
            -show_entries stream=nb_read_packets -of csv=p=0 "$avi" 2>/dev/null || echo 0)
        bytes=$(stat -c %s "$avi" 2>/dev/null || echo 0)
        read -r _ _ tick_mean tick_worst _ _ cap_mean _ _ _ write_mean write_worst \
            _ _ comp_mean _ _ written _ dropped < <(tr -d "\r" < "$OUT/timing.log")
        # The same screen taken natively by ffmpeg at the same rate, for as long.
        grab=$(ffmpeg -hide_banner -benchmark -f x11grab -framerate "$rate" -video_size "$SIZE" \
            -i "$DISPLAY" -t "$SECONDS_EACH" -f null - 2>&1 </dev/null | tr "\r" "\n")
        got=$(grep -o "frame= *[0-9]*" <<<"$grab" | tail -1 | tr -dc 0-9)
        utime=$(grep -o "utime=[0-9.]*" <<<"$grab" | cut -d= -f2)
        printf "%6s %5s %8d %8d %9.2f %8.1f/%6.1f (%5.1f) %8.1f/%6.1f (%5.1f) %8d %8.1f\n" \
            "$rate" "$input" "$written" "$dropped" \
            "$(echo "$bytes / 1048576 / ($frames / $rate / 60)" | bc -l 2>/dev/null || echo 0)" \
            "$tick_mean" "$tick_worst" "$cap_mean" "$write_mean" "$write_worst" "$comp_mean" \
            "${got:-0}" "$(echo "${utime:-0} * 1000 / ${got:-1}" | bc -l)"
      done
    done
    rm -f "$avi" "$OUT/loop.avi"
'
