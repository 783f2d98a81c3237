"""Sound in the movie: the audio stream's format for each sample format, a tone played into the
sound input decoded back at its pitch, sound as long as the picture, sound and picture in step,
a pause left out of both and single frames taken while paused with their silence, a recording
whose sound input cannot start, and a disk that fills while sound is written.

What the program records is whatever plays into the session's null sink (its monitor is the
default sound input): paplay plays known tones there, and the test scene's flashes come with
tones of their own."""

import os
import signal
import subprocess
import time
from pathlib import Path

import pytest

import scene
from sound import audio_stream, loud_spans, pitch, read_sound, tone_file, tone_level, Sync
from recorder import (STATE_KEY, Recording, dialog_controls, key, message_boxes, small_drive,
                      wait_captions)
from test_scene import REGION, running_scene, wait_painted
from winesession import WineSession, wait_until

TITLE = "Vidorra"


@pytest.fixture
def sound_format(session, fresh_settings):
    """Every run saves its settings on exit, so each test here starts from the defaults (and
    leaves them): then sets the sample format the next recording starts with."""
    def set_format(rate, bits):
        for name, value in (("SoundSampRate", rate), ("SoundSampSize", bits)):
            session.wine("reg", "add", STATE_KEY, "/v", name, "/t", "REG_DWORD", "/d", value, "/f")
    return set_format


# Reading the movie's sound


# A player asking for the default latency makes the virtual sink render up to two seconds ahead of
# time; what it rendered before the program's input connected never reaches the input, so a tone
# begun then would lose its start for reasons no real microphone has. Players ask for little.
PLAYER = ["paplay", "--latency-msec=20"]


def play(session, path):
    session.run(*PLAYER, f"--device={session.env['VIDORRA_SINK']}", path, timeout=60)


def video_duration(info):
    video = scene.video_stream(info)
    return int(video["nb_frames"]) / scene.frame_rate(video)


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
    rec.wait_picture()
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


def test_a_tone_playing_as_the_recording_starts_is_in_the_movie_from_its_first_frame(
        session, sound_format, quiet_scene, tmp_path):
    """A steady tone played from half a second after the program was launched, so it plays
    while the recording sets up: the movie's sound has it from the first frame to the tone's
    end, with nothing of it lost to the sound input's start."""
    rate, fps = 22050, 10
    sound_format(rate, 16)
    tone = tone_file(tmp_path / "steady.wav", 700, 8.0, rate=rate)
    avi = tmp_path / "steady.avi"
    rec = Recording(session, avi, "-x", 0, "-y", 0, "-w", 64, "-h", 48, "-f", fps, "-i-", "-s+")
    time.sleep(0.5)
    player = subprocess.Popen([*PLAYER, f"--device={session.env['VIDORRA_SINK']}", str(tone)],
                              env=session.env)
    try:
        rec.wait_started()
        assert player.poll() is None, "the tone ended before the recording started"
        player.wait(timeout=60)
        time.sleep(1)
    finally:
        if player.poll() is None:
            player.kill()
    assert rec.stop() == 0

    samples = read_sound(avi)
    spans = loud_spans(samples, rate)
    print(f"loud spans, seconds: {[(round(a / rate, 3), round(b / rate, 3)) for a, b in spans]}")
    assert len(spans) == 1, spans
    start, end = spans[0]
    # The tone was on before the first frame was taken: it is there from the movie's start.
    assert start / rate <= 1 / fps, start / rate
    # ... and to its end, a second (and the hot key's way) before the stop.
    assert 0.5 <= (len(samples) - end) / rate <= 3, (len(samples) - end) / rate


# Sound and picture in step


@pytest.mark.parametrize("rate", [10, 15])
def test_flashes_and_their_tones_stay_in_step_through_the_recording(session, sound_format,
                                                                     tmp_path, rate):
    sound_format(22050, 16)
    seconds = 20
    with running_scene(session, "--beep-every", 2):
        wait_painted(session, tmp_path)
        avi = tmp_path / f"sync{rate}.avi"
        rec = Recording(session, avi, "-x", 100, "-y", 80, "-w", 160, "-h", 120, "-f", rate,
                        "-i-", "-s+")
        assert rec.record(seconds) == 0

    sync = Sync(avi, 22050)
    seen, heard, offsets = sync.seen, sync.heard, sync.offsets
    assert len(seen) >= seconds // 2 - 3, seen
    # Every flash has its tone, and nothing else is heard.
    assert abs(len(heard) - len(seen)) <= 1, (seen, heard)
    print(f"{rate} fps: tone minus flash, seconds: {[round(o, 3) for o in offsets]}")
    # A flash shows in the first frame captured after it is on the screen, up to a frame period
    # late; the tone passes through the scene's output and the program's input, and the virtual
    # sink hands the input its sound up to some 50 ms ahead of time (it renders ahead; no
    # microphone does). Two frames and that lead cover all of it.
    assert all(abs(o) <= 2 / rate + 0.05 for o in offsets), offsets
    # No drift: the offsets wander within a frame period as each flash meets the frame clock
    # at another phase, but over the recording their trend stays within one frame.
    assert abs(sync.drift()) <= 1 / rate, offsets


# Pausing


def frame_times(path):
    """The time of each decoded video frame, in the order decode_frames gives them."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "frame=pts_time", "-of", "csv=p=0", str(path)],
                         check=True, capture_output=True, text=True, timeout=120).stdout
    return [float(line.strip().strip(",")) for line in out.split()]


def scene_clock(path, region_x, region_y, steps_per_second=scene.DEFAULT_RATE):
    """(movie time, scene time) of every frame whose code blocks can be read: the scene time a
    frame shows against the moment the movie shows it."""
    frames = scene.decode_frames(path)
    times = frame_times(path)
    assert len(times) == len(frames)
    shown = []
    first = None
    for when, frame in zip(times, frames):
        values = scene.read_counters(frame, region_x, region_y)
        value = max(set(values), key=values.count) if values else None
        # White with a flash, or blocks the scene has not repainted yet: only a clear majority
        # of the blocks tells the time.
        if value is None or values.count(value) * 2 <= len(values) or values.count(value) < 3:
            continue
        first = value if first is None else first
        scene_time = scene.counter_steps(first, value) / steps_per_second
        # Right after a flash the scene repaints the value from before it for a moment: a frame
        # that shows the scene hardly further on than the last one, frames later, is that.
        if shown and scene_time - shown[-1][1] < (when - shown[-1][0]) / 2:
            continue
        shown.append((when, scene_time))
    return shown


def test_a_pause_leaves_its_moments_out_of_picture_and_sound_and_both_go_on_in_step(
        session, sound_format, tmp_path):
    """Paused for a few seconds while a tone of its own plays: the movie skips that span in the
    picture (the scene's clock jumps by it) and in the sound (the tone is not there), and the
    scene's flashes and their tones are as close after the pause as before."""
    rate, fps = 22050, 10
    sound_format(rate, 16)
    x, y, w, h = REGION
    unheard = tone_file(tmp_path / "unheard.wav", 400, 2.0)
    avi = tmp_path / "paused.avi"
    with running_scene(session, "--beep-every", 1):
        wait_painted(session, tmp_path)
        rec = Recording(session, avi, "-x", x, "-y", y, "-w", w, "-h", h, "-f", fps, "-i-",
                        "-s+")
        rec.wait_started()
        time.sleep(4)
        paused_at = time.monotonic()
        key(session, "F3")
        wait_captions(session, "Stop", "Resume")
        play(session, unheard)
        # Clear of the tone's last moments on their way through the sound server.
        time.sleep(max(0.7, paused_at + 3.5 - time.monotonic()))
        resumed_at = time.monotonic()
        key(session, "F3")
        wait_captions(session, "Stop", "Pause")
        time.sleep(4)
        assert rec.stop() == 0
    paused = resumed_at - paused_at

    # The picture: the scene's clock against the movie's runs at one offset before the pause and
    # at another, the pause's length later, after it; nothing else moves it.
    shown = scene_clock(avi, x, y)
    ahead = [scene_time - when for when, scene_time in shown]
    jumps = [b - a for a, b in zip(ahead, ahead[1:])]
    pause_jump = max(range(len(jumps)), key=lambda i: jumps[i])
    print(f"paused {paused:.2f} s, the picture skips {jumps[pause_jump]:.2f} s")
    assert abs(jumps[pause_jump] - paused) <= 0.3, (paused, jumps[pause_jump])
    before, after = shown[pause_jump][0], shown[pause_jump + 1][0]
    assert all(abs(j) <= 2 / fps for i, j in enumerate(jumps) if i != pause_jump), jumps

    # The sound: the scene's tones, and nothing of the one played while paused.
    samples = read_sound(avi)
    assert tone_level(samples, rate, 1000) > 8000
    assert tone_level(samples, rate, 400) < 3000

    # Flashes and their tones in step on both sides of the pause. A flash under way at the
    # pause or the resume has its tone cut off by it, or on the other side: those are left out.
    sync = Sync(avi, rate)
    print(f"tone minus flash, seconds: "
          f"{[(round(f, 2), round(o, 3)) for f, o in zip(sync.seen, sync.offsets)]}")
    steady = [(f, o) for f, o in zip(sync.seen, sync.offsets)
              if not before - 0.5 < f < after + 0.5]
    assert len([f for f, _ in steady if f < before]) >= 2, sync.seen
    assert len([f for f, _ in steady if f > after]) >= 2, sync.seen
    assert all(abs(o) <= 2 / fps for _, o in steady), steady

    # Sound as long as the picture.
    info = scene.probe(avi)
    assert abs(len(samples) / rate - video_duration(info)) <= 2 / fps, \
        (len(samples) / rate, video_duration(info))


def test_ten_pauses_leave_sound_and_picture_within_a_frame_of_each_other(
        session, sound_format, quiet_scene, tmp_path):
    """Each run's sound begins at the sample that plays with its first frame, so however many
    runs a take has, the sound ends with its picture."""
    fps = 5
    sound_format(11025, 8)
    avi = tmp_path / "pauses.avi"
    rec = Recording(session, avi, "-x", 0, "-y", 0, "-w", 64, "-h", 48, "-f", fps, "-i-", "-s+")
    rec.wait_picture()
    for _ in range(10):
        time.sleep(0.5)
        key(session, "F3")
        wait_captions(session, "Stop", "Resume")
        key(session, "F3")
        wait_captions(session, "Stop", "Pause")
    time.sleep(0.5)
    assert rec.stop() == 0
    info = scene.probe(avi)
    sound = len(read_sound(avi)) / 11025
    assert abs(sound - video_duration(info)) <= 1 / fps, (sound, video_duration(info))


# 8-bit sound at 11025 and 10 frames a second: the Win32 layer (SingleFramesWhilePaused...).
SINGLE_FRAME_FORMATS = [(8000, 16, 3, "pcm_s16le")]


@pytest.mark.parametrize("rate,bits,fps,codec", SINGLE_FRAME_FORMATS,
                         ids=[f"{r}x{b}at{f}" for r, b, f, _ in SINGLE_FRAME_FORMATS])
def test_each_single_frame_taken_while_paused_adds_one_frame_and_one_frame_of_silence(
        session, sound_format, tmp_path, rate, bits, fps, codec):
    """Started paused, a few single frames, stopped: the movie holds exactly those frames, each
    showing the screen at its own press, and a frame's length of silence for each in the
    stream's own format (rate / fps samples, truncated); a tone that played all the while is
    not in it."""
    sound_format(rate, bits)
    x, y, w, h = REGION
    singles = 4
    avi = tmp_path / "singles.avi"
    unheard = tone_file(tmp_path / "unheard.wav", 400, 5.0)
    with running_scene(session):
        wait_painted(session, tmp_path)
        proc = session.start(session.bin / "Vidorra.exe", "-x", x, "-y", y, "-w", w, "-h", h,
                             "-f", fps, "-i-", "-s+", "-a", session.windows_path(avi))
        wait_captions(session, "Record", "Pause", timeout=30)
        key(session, "F3")  # idle: starts paused
        wait_captions(session, "Stop", "Resume")
        player = subprocess.Popen([*PLAYER, f"--device={session.env['VIDORRA_SINK']}",
                                   str(unheard)], env=session.env)
        try:
            time.sleep(0.5)
            for _ in range(singles):
                key(session, "F4")
                time.sleep(0.6)
        finally:
            player.wait(timeout=30)
        session.screenshot("sound-single-frames-paused")
        key(session, "F2")
        controls = wait_captions(session, "Record", "Pause")
    assert controls[1075]["text"] == f"{avi.name}: {singles} frames recorded, 0 dropped"
    dlg, _ = dialog_controls(session)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0

    info = scene.probe(avi)
    assert int(scene.video_stream(info)["nb_frames"]) == singles
    # Each frame is a capture of its own moment, about a press apart (the idle main window
    # may hide some of the scene's code blocks, not all).
    shown = [t for _, t in scene_clock(avi, x, y)]
    assert len(shown) == singles
    steps = [b - a for a, b in zip(shown, shown[1:])]
    assert all(0.3 <= s <= 1.5 for s in steps), shown

    audio = info["streams"][1]
    assert audio["codec_name"] == codec
    samples = read_sound(avi)
    assert len(samples) == singles * int(rate / fps)
    # Silence: 0x80 for 8-bit sound and 0 for 16-bit both read back as 0.
    assert set(samples) == {0}


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
        key(s, "F2")

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
    """Room for the movie's headers and index room (about 130 kB), what completing it keeps
    back (96 kB) and some 70 kB more: sound at 11 kB a second fills it within seconds."""
    with small_drive(session, tmp_path, keep_free=(256 + 40) * 1024) as mount:
        yield mount


def test_a_disk_filling_with_sound_fails_the_run_and_the_file_plays(
        session, sound_format, nearly_full_disk):
    # Frames of 1 kB twice a second: the sound is what fills the disk.
    proc = session.start(session.bin / "Vidorra.exe", "-recx", "-s+", "-x", 0, "-y", 0,
                         "-w", 16, "-h", 16, "-f", 2, "-i-", "-a", "X:\\full.avi")
    # A script's run: exit code 1, and no message box waits for a click.
    assert proc.wait(timeout=60) == 1
    assert not message_boxes(session)
    assert sorted(p.name for p in nearly_full_disk.iterdir()) == ["filler", "full.avi"]

    avi = nearly_full_disk / "full.avi"
    info = scene.probe(avi)
    assert [s["codec_type"] for s in info["streams"]] == ["video", "audio"]
    # Completed: every stream decodes to its end without a complaint.
    result = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(avi), "-map", "0",
                             "-f", "null", "-"], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0 and not result.stderr.strip(), result.stderr
    assert len(read_sound(avi)) > 11025
