"""Sound in the movie: the audio stream's format for each sample format, a tone played into the
sound input decoded back at its pitch, sound as long as the picture, sound and picture in step,
a recording whose sound input cannot start, and a disk that fills while sound is written.

What the program records is whatever plays into the session's null sink (its monitor is the
default sound input): paplay plays known tones there, and the test scene's flashes come with
tones of their own."""

import array
import math
import os
import signal
import statistics
import subprocess
import time
import wave
from pathlib import Path

import pytest

import scene
from recorder import Recording, message_boxes, wait_message, dismiss
from test_scene import running_scene, wait_painted
from winesession import WineSession, wait_until

TITLE = "Vidorra"
SETTINGS_KEY = r"HKCU\Software\Talvenor\Vidorra"
STATE_KEY = SETTINGS_KEY + r"\State"


@pytest.fixture
def sound_format(session):
    """Every run saves its settings on exit, so each test here starts from the defaults (and
    leaves them): then sets the sample format the next recording starts with."""
    def set_format(rate, bits):
        for name, value in (("SoundSampRate", rate), ("SoundSampSize", bits)):
            session.wine("reg", "add", STATE_KEY, "/v", name, "/t", "REG_DWORD", "/d", value, "/f")
    session.wine("reg", "delete", SETTINGS_KEY, "/f", check=False)
    yield set_format
    session.wine("reg", "delete", SETTINGS_KEY, "/f", check=False)


@pytest.fixture(autouse=True)
def no_leftover_program(session):
    """A failed test must not leave its recorder (or its message box) to the next one."""
    started = len(session.procs)
    yield
    for proc in session.procs[started:]:
        if proc.poll() is None:
            proc.kill()


# Reading the movie's sound


def audio_stream(info):
    return next((s for s in info["streams"] if s.get("codec_type") == "audio"), None)


def read_sound(path):
    """The audio stream's samples as signed 16-bit values (ffmpeg widens 8-bit sound)."""
    result = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-map", "0:1",
                             "-f", "s16le", "-ac", "1", "-"], capture_output=True, timeout=120)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    samples = array.array("h")
    samples.frombytes(result.stdout[:len(result.stdout) // 2 * 2])
    return samples


def loud_spans(samples, rate, threshold=3000, window_ms=5, quiet_s=0.3):
    """(start, end) sample indexes of the stretches where sound is on: windows whose peak
    passes the threshold, a stretch ending after quiet_s seconds without one."""
    window = max(1, rate * window_ms // 1000)
    quiet = int(quiet_s * rate / window)
    spans = []
    start = last = None
    for w in range(0, len(samples) // window):
        chunk = samples[w * window:(w + 1) * window]
        if max(abs(v) for v in chunk) >= threshold:
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


def play(session, path):
    session.run("paplay", f"--device={session.env['VIDORRA_SINK']}", path, timeout=60)


def video_duration(info):
    video = scene.video_stream(info)
    num, den = video["r_frame_rate"].split("/")
    return int(video["nb_frames"]) * int(den) / int(num)


# The formats


@pytest.fixture
def quiet_scene(session, tmp_path):
    """The test scene, silent, under the pointer: the hot keys pressed through X reach the
    program only while a window of the Wine session is under the pointer."""
    with running_scene(session, "--no-strip"):
        wait_painted(session, tmp_path)
        yield


FORMATS = [(11025, 8, "pcm_u8"), (44100, 16, "pcm_s16le"), (8000, 16, "pcm_s16le")]


@pytest.mark.parametrize("rate,bits,codec", FORMATS, ids=[f"{r}x{b}" for r, b, _ in FORMATS])
def test_sound_is_recorded_in_the_chosen_format_at_the_pitch_played_and_as_long_as_the_picture(
        session, sound_format, quiet_scene, tmp_path, rate, bits, codec):
    sound_format(rate, bits)
    tone = tone_file(tmp_path / "tone.wav", 700, 1.5)
    avi = tmp_path / "sound.avi"
    rec = Recording(session, avi, "-x", 0, "-y", 0, "-w", 64, "-h", 48, "-f", 10, "-i-", "-s+")
    rec.wait_started()
    time.sleep(0.5)
    play(session, tone)
    time.sleep(0.5)
    assert rec.stop() == 0

    info = scene.probe(avi)
    assert len(info["streams"]) == 2
    audio = info["streams"][1]
    assert audio["codec_type"] == "audio"
    assert audio["codec_name"] == codec
    assert int(audio["sample_rate"]) == rate
    assert int(audio["channels"]) == 1

    samples = read_sound(avi)
    spans = loud_spans(samples, rate)
    assert len(spans) == 1, f"one tone expected, heard {spans}"
    start, end = spans[0]
    assert abs((end - start) / rate - 1.5) < 0.1
    # The middle of the tone, clear of its edges.
    middle = samples[start + rate // 10:end - rate // 10]
    assert abs(pitch(middle, rate) - 700) <= 700 * 0.02

    # Sound from the start to the stop, as the picture: within two frames.
    assert abs(len(samples) / rate - video_duration(info)) <= 0.2, \
        (len(samples) / rate, video_duration(info))


# Sound and picture in step


def white_frames(path):
    """For each frame of the video stream: its time and whether it shows the scene's white
    flash (the mean brightness of the whole frame near white)."""
    result = subprocess.run(
        ["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-map", "0:0", "-vf",
         "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"],
        capture_output=True, timeout=300, text=True)
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


@pytest.mark.parametrize("rate", [10, 15])
def test_flashes_and_their_tones_stay_in_step_through_the_recording(session, sound_format,
                                                                     tmp_path, rate):
    sound_format(22050, 16)
    seconds = 30
    with running_scene(session, "--beep-every", 2):
        wait_painted(session, tmp_path)
        avi = tmp_path / f"sync{rate}.avi"
        rec = Recording(session, avi, "-x", 100, "-y", 80, "-w", 160, "-h", 120, "-f", rate,
                        "-i-", "-s+")
        assert rec.record(seconds) == 0

    seen = onsets(white_frames(avi))
    samples = read_sound(avi)
    heard = [start / 22050 for start, _ in loud_spans(samples, 22050)]
    assert len(seen) >= seconds // 2 - 3, seen
    # Every flash has its tone, and nothing else is heard.
    assert abs(len(heard) - len(seen)) <= 1, (seen, heard)
    offsets = []
    for flash in seen:
        nearest = min(heard, key=lambda t: abs(t - flash))
        offsets.append(nearest - flash)
    print(f"{rate} fps: tone minus flash, seconds: {[round(o, 3) for o in offsets]}")
    # A flash shows in the first frame captured after it is on the screen, up to a frame period
    # late; the tone passes through the scene's output and the program's input. Two frames
    # cover both.
    assert all(abs(o) <= 2 / rate for o in offsets), offsets
    # No drift: the offsets wander within a frame period as each flash meets the frame clock
    # at another phase, but over the recording their trend stays within one frame.
    slope = statistics.linear_regression(seen, offsets).slope
    assert abs(slope * (seen[-1] - seen[0])) <= 1 / rate, offsets


# A sound input that cannot start


@pytest.fixture
def silent_session():
    """A session of its own whose sound server has been stopped."""
    s = WineSession()
    try:
        pid_file = Path(s.env["WINEPREFIX"]).parent / "pulse.pid"
        pid = int(pid_file.read_text())
        os.kill(pid, signal.SIGTERM)

        def gone():
            try:
                os.kill(pid, 0)
            except ProcessLookupError:
                return True
            return False
        wait_until(gone, 10, what="the sound server to end")
        yield s
    finally:
        s.close()


def test_without_a_sound_input_the_recording_runs_and_the_status_line_says_so(
        silent_session, tmp_path):
    s = silent_session
    avi = tmp_path / "silent.avi"
    with running_scene(s, "--no-strip"):
        wait_painted(s, tmp_path)
        proc = s.start(s.bin / "Vidorra.exe", "-rec", "-s+", "-x", 0, "-y", 0, "-w", 64, "-h", 48,
                       "-f", 10, "-i-", "-a", s.windows_path(avi))
        wait_until(lambda: avi.exists(), 30, what="the recording to start")
        time.sleep(2)
        s.run("xdotool", "key", "F2")

    def status():
        dlg = s.find_top(TITLE, visible=False)
        if not dlg:
            return None
        controls = {c["id"]: c for c in s.children(dlg) if c["parent"] == dlg["hwnd"]}
        return dlg, controls.get(1075, {}).get("text")
    # The summary replaces "Ready" once the stop is over.
    dlg, text = wait_until(lambda: (st := status()) and "frames" in (st[1] or "") and st, 30,
                           what="the summary on the status line")
    assert "No sound was recorded" in text, text
    assert [box for box, _ in message_boxes(s) if box["hwnd"] != dlg["hwnd"]] == []
    s.screenshot("sound-no-input")
    s.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0

    info = scene.probe(avi)
    video = scene.video_stream(info)
    assert int(video["nb_frames"]) >= 10
    # The audio stream was made before the input failed; it holds nothing.
    assert audio_stream(info) is not None
    assert len(read_sound(avi)) == 0


# A disk that fills while sound is written


@pytest.fixture
def nearly_full_disk(session, tmp_path):
    """Drive X: on a 1 MB tmpfs filled up to what completing a file keeps back (256 kB) and
    some 40 kB more: sound at 11 kB a second fills it within seconds."""
    mount = tmp_path / "small"
    mount.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount)]).returncode:
        pytest.skip("mounting a tmpfs needs root")
    drive = Path(session.env["WINEPREFIX"]) / "dosdevices" / "x:"
    drive.symlink_to(mount)
    try:
        stat = os.statvfs(mount)
        free = stat.f_bavail * stat.f_frsize
        (mount / "filler").write_bytes(b"\0" * (free - (256 + 40) * 1024))
        yield mount
    finally:
        drive.unlink()
        subprocess.run(["umount", str(mount)])


def test_a_disk_filling_with_sound_stops_once_with_the_sound_message_and_the_file_plays(
        session, sound_format, nearly_full_disk):
    # Frames of 1 kB twice a second: the sound is what fills the disk.
    proc = session.start(session.bin / "Vidorra.exe", "-recx", "-s+", "-x", 0, "-y", 0,
                         "-w", 16, "-h", 16, "-f", 2, "-i-", "-a", "X:\\full.avi")
    box, text = wait_message(session, "could not be written", timeout=60)
    assert "The sound could not be written" in text, text
    session.screenshot("sound-disk-full")
    dismiss(session, box)
    assert proc.wait(timeout=30) == 0
    assert not message_boxes(session), "a second message followed"
    assert sorted(p.name for p in nearly_full_disk.iterdir()) == ["filler", "full.avi"]

    avi = nearly_full_disk / "full.avi"
    info = scene.probe(avi)
    assert [s["codec_type"] for s in info["streams"]] == ["video", "audio"]
    # Completed: every stream decodes to its end without a complaint.
    result = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(avi), "-map", "0",
                             "-f", "null", "-"], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0 and not result.stderr.strip(), result.stderr
    assert len(read_sound(avi)) > 11025
