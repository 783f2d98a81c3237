#!/usr/bin/env bash
# Start and stop benchmark, figures not pass/fail. In one Wine session at 1024x768x24, over RUNS
# runs each (default 5), it times:
#   Vidorra.exe -recx (320x240, 10 fps, no numbering), without and with sound:
#     launch -> AVI file created, launch -> first frame chunk in the file;
#     after two seconds, the stop hot key (xdotool key F2) -> last write to the file (its
#     modification time once the process has ended) and -> process ended.
#   references in the same session, so the figures show what Vidorra itself adds:
#     a console program's start to end (the probe, printing its usage),
#     a window program's launch -> its window shown, and its close request -> process ended,
#     xdotool key's own time (the reference for the last write after F2).
# Without a window manager Wine waits up to 2 s for every shown top-level window to be withdrawn
# when it is hidden or destroyed; the window program's close pays that too, which is why it is
# the reference for the process's end.
# Every movie must read in ffprobe with at least one frame, else the run counts as failed.
# Prints per measure the median and the spread (max - min) in ms, next to the reference's median
# and the difference.
#   bench/startstop.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build" wine >/dev/null
export RUNS=${1:-5} OUT=$root/build/bench/startstop
rm -rf "$OUT"
mkdir -p "$OUT"
"$root/tools/wine-session" --size 1024x768 --depth 24 -- bash -c '
    set -euo pipefail
    cd "$VIDORRA_BUILD/bin"
    times=$OUT/times.txt
    : >"$times"
    ms() { awk -v a="$1" -v b="$2" "BEGIN { printf \"%.1f\", (b - a) * 1000 }"; }
    # Run 0 warms up (the first programs of a session load everything from disk): not noted.
    note() { [ "$run" -eq 0 ] || echo "$1 $(ms "$2" "$3")" >>"$times"; }
    # Polls a shell condition every 5 ms for up to 30 s.
    wait_for() {
        local i
        for ((i = 0; i < 6000; i++)); do
            eval "$1" && return 0
            sleep 0.005
        done
        echo "startstop: timed out waiting for $1" >&2
        return 1
    }
    top_window() { # title -> hwnd
        wine winprobe.exe dump | tr -d "\r" | grep "\"text\":\"$1\"" |
            sed -n "s/^{\"hwnd\":\([0-9]*\),\"top\":\1,.*/\1/p" | head -1
    }

    for run in $(seq 0 "$RUNS"); do
        t0=$EPOCHREALTIME
        wine winprobe.exe >/dev/null 2>&1 || true
        note console_start_end "$t0" "$EPOCHREALTIME"

        shown=$OUT/framed.txt
        : >"$shown"
        t0=$EPOCHREALTIME
        wine framedwindow.exe 100 100 300 200 >"$shown" 2>/dev/null &
        pid=$!
        wait_for "[ -s $shown ]"
        note window_shown "$t0" "$EPOCHREALTIME"
        hwnd=$(top_window "Framed Window")
        wine winprobe.exe close "$hwnd"
        t0=$EPOCHREALTIME
        wait "$pid" || true
        note window_close_exit "$t0" "$EPOCHREALTIME"

        for sound in s- s+; do
            avi=$OUT/run$run$sound.avi
            rm -f "$avi"
            path=$(winepath -w "$avi")
            t0=$EPOCHREALTIME
            wine Vidorra.exe -recx -x 0 -y 0 -w 320 -h 240 -f 10 -i- -$sound -a "$path" \
                >/dev/null 2>&1 &
            pid=$!
            wait_for "[ -f $avi ]"
            note "$sound:launch_file" "$t0" "$EPOCHREALTIME"
            wait_for "grep -qa -e 00dc -e 00db $avi"
            note "$sound:launch_frame" "$t0" "$EPOCHREALTIME"
            sleep 2
            t0=$EPOCHREALTIME
            xdotool key F2
            note "xdotool_key" "$t0" "$EPOCHREALTIME"
            wait "$pid" || echo "startstop: run $run $sound ended with status $?" >&2
            note "$sound:key_exit" "$t0" "$EPOCHREALTIME"
            note "$sound:key_file" "$t0" "$(stat -c %.9Y "$avi")"
            frames=$(ffprobe -v error -select_streams v:0 -count_packets \
                -show_entries stream=nb_read_packets -of csv=p=0 "$avi" 2>/dev/null || true)
            if [ "$run" -eq 0 ]; then
                :
            elif [[ ${frames:-0} =~ ^[0-9]+$ ]] && [ "$frames" -ge 1 ]; then
                echo "$sound:frames $frames" >>"$times"
            else
                echo "$sound:failed 1" >>"$times"
                echo "startstop: run $run $sound left no readable movie" >&2
            fi
        done
    done
'
python3 - "$OUT/times.txt" "$RUNS" <<'EOF'
import statistics
import sys

values = {}
for line in open(sys.argv[1]):
    name, value = line.split()
    values.setdefault(name, []).append(float(value))


def median(name):
    return statistics.median(values[name]) if name in values else float("nan")


rows = [
    ("console program, start to end", "console_start_end", None),
    ("window program, launch to window shown", "window_shown", None),
    ("window program, close to process ended", "window_close_exit", None),
    ("xdotool key", "xdotool_key", None),
]
for sound, label in (("s-", "no sound"), ("s+", "sound")):
    rows += [
        (f"Vidorra {label}, launch to file created", f"{sound}:launch_file", "window_shown"),
        (f"Vidorra {label}, launch to first frame", f"{sound}:launch_frame", "window_shown"),
        (f"Vidorra {label}, F2 to file complete", f"{sound}:key_file", "xdotool_key"),
        (f"Vidorra {label}, F2 to process ended", f"{sound}:key_exit", "window_close_exit"),
    ]

print(f"start and stop, {sys.argv[2]} runs, ms")
print(f"{'measure':44s} {'median':>8s} {'spread':>8s} {'ref':>8s} {'added':>8s}")
for title, name, ref in rows:
    v = values.get(name, [])
    if not v:
        print(f"{title:44s} {'-':>8s}")
        continue
    line = f"{title:44s} {statistics.median(v):8.1f} {max(v) - min(v):8.1f}"
    if ref:
        line += f" {median(ref):8.1f} {statistics.median(v) - median(ref):8.1f}"
    print(line)
for sound, label in (("s-", "no sound"), ("s+", "sound")):
    frames = values.get(f"{sound}:frames", [])
    failed = len(values.get(f"{sound}:failed", []))
    print(f"Vidorra {label}: {len(frames)} readable movies "
          f"({int(min(frames)) if frames else 0} to {int(max(frames)) if frames else 0} frames), "
          f"{failed} failed")
EOF
