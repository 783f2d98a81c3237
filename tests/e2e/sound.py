"""Readers of recorded sound and of the test scene's flashes, for the sound tests and the sound
benchmark: a movie's samples, the stretches where a tone sounds and its pitch, the frames that
show the scene's white flash, and how far each flash's tone lies from it.

A movie here is any file ffmpeg reads whose first stream is the picture and second the sound:
Vidorra's AVIs, and ffmpeg's own captures of the same screen and sound for comparison."""

import array
import json
import math
import statistics
import subprocess
import wave


def audio_stream(info):
    return next((s for s in info["streams"] if s.get("codec_type") == "audio"), None)


def read_sound(path):
    """The audio stream's samples as signed 16-bit values (ffmpeg widens 8-bit sound)."""
    result = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-map", "0:1",
                             "-f", "s16le", "-ac", "1", "-"], capture_output=True, timeout=600)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    samples = array.array("h")
    samples.frombytes(result.stdout[:len(result.stdout) // 2 * 2])
    return samples


def sound_lead(path):
    """Seconds from the file's start (where ffmpeg puts the first frame's time) to the audio
    stream's first sample: 0 for files whose streams start together, as an AVI's do; a capture
    whose sound began later than its picture says so in its stream start times."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json",
                          str(path)], check=True, capture_output=True, timeout=60).stdout
    info = json.loads(out)
    start = float(info["format"].get("start_time", 0) or 0)
    audio = audio_stream(info)
    return float(audio.get("start_time", start) or start) - start


def loud_spans(samples, rate, threshold=3000, window_ms=5, quiet_s=0.3):
    """(start, end) sample indexes of the stretches where sound is on: windows whose peak
    passes the threshold, a stretch ending after quiet_s seconds without one."""
    window = max(1, rate * window_ms // 1000)
    quiet = int(quiet_s * rate / window)
    spans = []
    start = last = None
    for w in range(0, len(samples) // window):
        chunk = samples[w * window:(w + 1) * window]
        if max(max(chunk), -min(chunk)) >= threshold:
            if start is None or w - last > quiet:
                if start is not None:
                    spans.append((start * window, (last + 1) * window))
                start = w
            last = w
    if start is not None:
        spans.append((start * window, (last + 1) * window))
    return spans


def pitch(samples, rate):
    """The frequency of a steady tone, from its crossings of a band round zero (so quantising
    noise near zero does not count)."""
    peak = max(abs(v) for v in samples)
    band = peak // 4
    crossings = []
    side = 0
    for i, v in enumerate(samples):
        now = 1 if v > band else -1 if v < -band else side
        if side and now != side:
            crossings.append(i)
        side = now
    # Whole periods between the first and the last crossing: half a period per crossing.
    assert len(crossings) > 10, "no tone"
    return (len(crossings) - 1) / 2 / ((crossings[-1] - crossings[0]) / rate)


def tone_level(samples, rate, frequency, window_ms=20):
    """The loudest that a tone of the given frequency is in any window of the sound: the
    amplitude of that frequency's component (Goertzel), so a sine of amplitude A scores about A
    in a window it fills and other frequencies score little."""
    window = max(1, rate * window_ms // 1000)
    coeff = 2 * math.cos(2 * math.pi * frequency / rate)
    loudest = 0.0
    for start in range(0, len(samples) - window + 1, window // 2):
        s1 = s2 = 0.0
        for v in samples[start:start + window]:
            s1, s2 = v + coeff * s1 - s2, s1
        power = s1 * s1 + s2 * s2 - coeff * s1 * s2
        loudest = max(loudest, 2 * math.sqrt(max(power, 0.0)) / window)
    return loudest


def tone_file(path, frequency, seconds, rate=44100):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(
            int(16000 * math.sin(2 * math.pi * frequency * i / rate)).to_bytes(2, "little",
                                                                              signed=True)
            for i in range(int(rate * seconds))))
    return path


def white_frames(path):
    """For each frame of the video stream: its time and whether it shows the scene's white
    flash (the mean brightness of the whole frame near white)."""
    result = subprocess.run(
        ["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-map", "0:0", "-vf",
         "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"],
        capture_output=True, timeout=1200, text=True)
    assert result.returncode == 0, result.stderr
    frames = []
    when = None
    for line in result.stdout.splitlines():
        if "pts_time:" in line:
            when = float(line.split("pts_time:")[1].split()[0])
        elif line.startswith("lavfi.signalstats.YAVG=") and when is not None:
            frames.append((when, float(line.split("=")[1]) > 200))
    return frames


def onsets(flags):
    """Times at which a run of True begins in [(time, flag), ...]."""
    found = []
    before = True  # a flash under way at the start does not count
    for when, flag in flags:
        if flag and not before:
            found.append(when)
        before = flag
    return found


class Sync:
    """Where the test scene's tones lie against its flashes in one movie: `seen` the flash
    onsets and `heard` the tone onsets (seconds from the file's start), and for each flash the
    offset of the tone nearest to it (positive: the tone comes later). With `within`, flashes
    whose nearest tone is further away than that are left out of `seen` and `offsets` (and
    counted in `unpaired`)."""

    def __init__(self, path, rate, within=None):
        self.seen = onsets(white_frames(path))
        lead = sound_lead(path)
        samples = read_sound(path)
        self.sound_seconds = len(samples) / rate
        self.heard = [lead + start / rate for start, _ in loud_spans(samples, rate)]
        self.offsets = [min(self.heard, key=lambda t: abs(t - flash)) - flash
                        for flash in self.seen] if self.heard else []
        self.unpaired = 0
        if within is not None:
            pairs = [(f, o) for f, o in zip(self.seen, self.offsets) if abs(o) <= within]
            self.unpaired = len(self.seen) - len(pairs)
            self.seen = [f for f, _ in pairs]
            self.offsets = [o for _, o in pairs]

    def drift(self):
        """How far the offsets move over the recording by their trend: the regression slope
        times the span from the first flash to the last, in seconds."""
        return self.slope() * (self.seen[-1] - self.seen[0])

    def slope(self):
        """The offsets' trend, seconds of offset per second of recording."""
        return statistics.linear_regression(self.seen, self.offsets).slope
