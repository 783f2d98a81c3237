#!/usr/bin/env bash
# Wave input start-up benchmark, figures not pass/fail: RUNS runs (default 3) of
# wave_start_probe in one Wine session, each printing how long waveInOpen and waveInStart took,
# when the device's own count of captured samples first moved (the moment capture really began)
# and when its first buffer came back, in ms on timeGetTime's clock. Side by side, as the
# reference, ffmpeg's PulseAudio input on the same source: from its launch to its first packet.
#   bench/wave_start.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
[[ $runs =~ ^[0-9]+$ ]] || { echo "usage: bench/wave_start.sh [RUNS]" >&2; exit 2; }
"$root/tools/build" wine >/dev/null
export RUNS=$runs
"$root/tools/wine-session" -- bash -c '
    set -euo pipefail
    cd "$VIDORRA_BUILD/bin"
    printf "%-28s %8s %8s %12s %12s\n" "" "open" "start" "captures" "1st buffer"
    for i in $(seq "$RUNS"); do
        wine wave_start_probe.exe 22050 2 0 | awk -v run="$i" "
            /^open_ms/ { open = \$3 - \$2 }
            /^start_ms/ { started = \$2; start = \$3 - \$2 }
            /^position/ && !moved { moved = \$4 - started }
            /^buffer 0/ { back = \$4 - started }
            END { printf \"%-28s %8d %8d %12d %12d\n\", \"wave_start_probe run \" run, open, start, moved, back }"
    done
    for i in $(seq "$RUNS"); do
        t0=$(date +%s%N)
        first=$(ffmpeg -v error -nostdin -f pulse -sample_rate 22050 -channels 1 \
            -i "$VIDORRA_SINK.monitor" -t 0.5 -f s16le - 2>/dev/null | head -c 2 | wc -c
            date +%s%N)
        t1=$(echo "$first" | tail -1)
        printf "%-28s %8s %8s %12s %12d\n" "ffmpeg -f pulse run $i" "-" "-" "-" \
            $(( (t1 - t0) / 1000000 ))
    done
    echo "(ms; captures: from waveInStart to the first move of the device count; 1st buffer:"
    echo " from waveInStart to its return; ffmpeg: from its launch to its first samples)"
'
