#!/usr/bin/env bash
# Sound sync benchmark, figures not pass/fail. In one Wine session the test scene flashes white
# with a 1000 Hz tone every 2 s; Vidorra.exe -recx records a region of it with sound for
# MINUTES minutes (default 10) at 15 fps and 22050 Hz 16-bit, stopped with F2, and side by side
# native ffmpeg records the same region (x11grab) and the same sound (the session sink's
# monitor through PulseAudio) for the same span. Both movies are analysed alike (bench/
# sound_sync.py): tone onset minus flash frame onset, mean, min and max, and its drift as the
# regression slope over 10 minutes, in ms and in frame periods.
#   bench/sound_sync.sh [MINUTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-10}
[[ $minutes =~ ^[0-9]+([.][0-9]+)?$ ]] || { echo "usage: bench/sound_sync.sh [MINUTES]" >&2; exit 2; }
"$root/tools/build" wine >/dev/null
export SECONDS_TO_RECORD=$(echo "$minutes * 60 / 1" | bc) OUT=$root/build/bench/sound_sync
export FPS=15 RATE=22050 REGION_X=100 REGION_Y=80 REGION_W=160 REGION_H=120
mkdir -p "$OUT"
rm -f "$OUT/vidorra.avi" "$OUT/ffmpeg.mkv"
echo "recording ${SECONDS_TO_RECORD} s with Vidorra.exe and ffmpeg side by side..."
"$root/tools/wine-session" --size 1024x768 --depth 24 -- bash -c '
    set -euo pipefail
    cd "$VIDORRA_BUILD/bin"
    state="HKCU\\Software\\Talvenor\\Vidorra\\State"
    wine reg add "$state" /v SoundSampRate /t REG_DWORD /d $RATE /f >/dev/null 2>&1
    wine reg add "$state" /v SoundSampSize /t REG_DWORD /d 16 /f >/dev/null 2>&1
    # The pointer on the scene (hot keys reach the program only over a window of the session)
    # and away from the region.
    xdotool mousemove 1000 740
    wine testscene.exe --no-strip --beep-every 2 >/dev/null 2>&1 &
    scene=$!
    sleep 3
    avi=$OUT/vidorra.avi
    wine Vidorra.exe -recx -s+ -x $REGION_X -y $REGION_Y -w $REGION_W -h $REGION_H -f $FPS -i- \
        -a "$(winepath -w "$avi")" >/dev/null 2>&1 &
    vidorra=$!
    for _ in $(seq 150); do [ -f "$avi" ] && break; sleep 0.2; done
    [ -f "$avi" ] || { echo "Vidorra did not start recording" >&2; exit 1; }
    # No probing of the grabber: it would read a second or two of frames before the first.
    ffmpeg -v error -nostdin -y -probesize 32 -analyzeduration 0 \
        -f x11grab -framerate $FPS -video_size ${REGION_W}x${REGION_H} \
        -i "$DISPLAY+$REGION_X,$REGION_Y" \
        -f pulse -sample_rate $RATE -channels 1 -i "$VIDORRA_SINK.monitor" \
        -map 0:v -map 1:a -t $SECONDS_TO_RECORD -c:v ffv1 -c:a pcm_s16le "$OUT/ffmpeg.mkv" &
    ffmpeg=$!
    sleep $SECONDS_TO_RECORD
    xdotool key F2
    wait $vidorra || { echo "Vidorra ended with status $?" >&2; exit 1; }
    wait $ffmpeg
    kill $scene 2>/dev/null || true
'
echo
/usr/bin/python3 "$root/bench/sound_sync.py" --rate $RATE --fps $FPS \
    "Vidorra.exe=$OUT/vidorra.avi" "ffmpeg x11grab+pulse=$OUT/ffmpeg.mkv"
