"""Recording the test scene through the real program and checking the movie with ffprobe and
ffmpeg: region, rate, frame count, pixels, cursor and the failures a user can meet."""

import subprocess
import time

import pytest

import scene
from recorder import STATE_KEY, Recording, dismiss, key, message_boxes, small_drive, wait_message
from test_scene import running_scene, wait_painted
from winesession import wait_until

X, Y, W, H = 100, 80, 320, 240


@pytest.fixture(scope="module")
def scene_running(session, tmp_path_factory):
    with running_scene(session) as (proc, window):
        wait_painted(session, tmp_path_factory.mktemp("ready"))
        yield window


def region_switches(rate=15, x=X, y=Y, w=W, h=H):
    return ["-x", x, "-y", y, "-w", w, "-h", h, "-f", rate, "-i-"]


def test_recx_records_the_region_at_the_rate_and_ends_on_the_start_hot_key(
        session, scene_running, tmp_path):
    avi = tmp_path / "take.avi"
    session.run("xdotool", "mousemove", 1000, 740)  # outside the region
    rec = Recording(session, avi, *region_switches(15))
    rec.wait_started()
    # Started minimised, as a scripted run asks.
    dialog = wait_until(lambda: session.find_top("Vidorra", visible=False), 10, what="dialog")
    assert dialog["iconic"] == 1
    import time
    time.sleep(3)
    assert rec.stop() == 0

    info = scene.probe(avi)
    assert len(info["streams"]) == 1
    stream = scene.video_stream(info)
    assert (stream["width"], stream["height"]) == (W, H)
    assert scene.frame_rate(stream) == 15
    frames = scene.decode_frames(avi)
    duration = float(stream["duration"])
    # A tick that comes late leaves its position empty (a player shows the frame before).
    assert abs(len(frames) - duration * 15) <= 2
    assert len(frames) >= 30
    counters = []
    for frame in frames:
        assert scene.check_region(frame, X, Y) > 0.95
        value = scene.read_counter(frame, X, Y)
        assert value is not None
        counters.append(value)
    steps = [scene.counter_steps(a, b) for a, b in zip(counters, counters[1:])]
    # Frames in capture order; at 50 counts a second, a 15 fps frame is about 3.3 counts.
    assert all(s >= 0 for s in steps), counters
    assert 2 <= sorted(steps)[len(steps) // 2] <= 5, counters


@pytest.mark.parametrize("capture,playback", [(10, 25), (20, 5)])
def test_a_playback_rate_other_than_the_capture_rate_speeds_up_or_slows_down_the_movie(
        session, scene_running, tmp_path, capture, playback):
    # The rates as the video page stores them, in thousandths; no -f, which would set both.
    for name, rate in (("FPS", capture), ("FPSPlay", playback)):
        session.wine("reg", "add", STATE_KEY, "/v", name, "/t", "REG_DWORD", "/d", rate * 1000,
                     "/f")
    session.run("xdotool", "mousemove", 1000, 740)
    avi = tmp_path / "rates.avi"
    seconds = 3
    try:
        # Sound asked for, but it could not stay in step with a movie played at another rate.
        assert Recording(session, avi, "-x", X, "-y", Y, "-w", W, "-h", H, "-i-", "-s+").record(
            seconds) == 0
    finally:
        for name in ("FPS", "FPSPlay", "RecSound"):
            session.wine("reg", "delete", STATE_KEY, "/v", name, "/f", check=False)

    info = scene.probe(avi)
    assert len(info["streams"]) == 1, info["streams"]
    stream = scene.video_stream(info)
    assert scene.frame_rate(stream) == playback
    frames = scene.decode_frames(avi)
    # Taken at the capture rate: about that many frames a second of recording, each one capture
    # period after the last on the scene's 50-a-second counter.
    assert abs(len(frames) - seconds * capture) <= capture // 2 + 2, len(frames)
    counters = [scene.read_counter(frame, X, Y) for frame in frames]
    steps = [scene.counter_steps(a, b) for a, b in zip(counters, counters[1:])]
    assert abs(sorted(steps)[len(steps) // 2] - 50 / capture) <= 1, counters
    # Played at the playback rate: the movie lasts frames / playback seconds.
    assert abs(float(stream["duration"]) - len(frames) / playback) < 1 / playback + 1e-6


def test_cursor_is_drawn_where_the_pointer_is_and_left_out_with_nocursor(
        session, scene_running, tmp_path):
    px, py = X + 150, Y + 100  # inside the region, on plain background
    session.run("xdotool", "mousemove", px, py)
    with_cursor = tmp_path / "cursor.avi"
    assert Recording(session, with_cursor, *region_switches(10)).record(1.5) == 0
    without = tmp_path / "nocursor.avi"
    assert Recording(session, without, *region_switches(10), "-nocursor").record(1.5) == 0
    session.run("xdotool", "mousemove", 1000, 740)

    def differs_near_pointer(frame):
        # The arrow's tip is at the hot spot: its pixels there are not the background's.
        changed = 0
        for dx in range(0, 8):
            for dy in range(0, 12):
                seen = scene.pixel(frame, px - X + dx, py - Y + dy)
                if not scene.colour_close(seen, scene.expected_colour(px + dx, py + dy)):
                    changed += 1
        return changed

    assert differs_near_pointer(scene.decode_frames(with_cursor)[-1]) >= 10
    assert differs_near_pointer(scene.decode_frames(without)[-1]) == 0


# A script's run (-recx) that cannot record ends with exit code 1 and no message box. (A take
# stopped before its first frame, and a read-only take: the Win32 layer's recording tests.)


def test_output_in_a_missing_folder_fails_the_run_and_nothing_is_written(session, tmp_path):
    avi = tmp_path / "no" / "such" / "folder" / "take.avi"
    Recording(session, avi, *region_switches(10)).wait_failed(30)
    assert not avi.parent.exists()


def test_a_refused_file_name_records_nothing_and_leaves_the_stored_take_alone(
        session, tmp_path, fresh_settings):
    # The stored name is a take that numbering off would record over.
    take = tmp_path / "stored.avi"
    take.write_bytes(b"the stored take")
    session.wine("reg", "add", STATE_KEY, "/v", "AVIFileName", "/t", "REG_SZ", "/d",
                 session.windows_path(take), "/f")
    too_long = session.windows_path(tmp_path) + "\\" + "n" * 300 + ".avi"
    proc = session.start(session.bin / "Vidorra.exe", "-recx", "-i-", *region_switches(10),
                         "-a", too_long)
    assert proc.wait(timeout=30) == 1
    assert not message_boxes(session)
    assert take.read_bytes() == b"the stored take"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["stored.avi"]


def test_numbering_takes_the_next_free_name_and_refuses_when_none_is_left(session, tmp_path):
    (tmp_path / "shot0001.avi").write_bytes(b"first")
    rec = Recording(session, tmp_path / "shot.avi", *region_switches(10)[:-1], "-i+")
    # The program picks shot0002.avi; wait for that one.
    rec.avi = tmp_path / "shot0002.avi"
    assert rec.record(1.0) == 0
    assert (tmp_path / "shot0001.avi").read_bytes() == b"first"
    assert scene.video_stream(scene.probe(tmp_path / "shot0002.avi"))["width"] == W

    (tmp_path / "last9999.avi").write_bytes(b"taken")
    Recording(session, tmp_path / "last9999.avi", *region_switches(10)[:-1], "-i+").wait_failed(30)
    assert (tmp_path / "last9999.avi").read_bytes() == b"taken"
    assert sorted(p.name for p in tmp_path.iterdir()) == [
        "last9999.avi", "shot0001.avi", "shot0002.avi"]


@pytest.fixture
def full_disk(session, tmp_path):
    # Room for the movie's headers and index room (about 130 kB), what completing it keeps back
    # (96 kB), and a few dozen compressed frames.
    with small_drive(session, tmp_path, keep_free=(256 + 64) * 1024) as mount:
        yield mount


def plays_to_the_end(avi):
    """Every frame in the file decodes, and ffmpeg has nothing to complain of."""
    result = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(avi), "-f", "null",
                             "-"], capture_output=True, text=True, timeout=60)
    return result.returncode == 0 and not result.stderr.strip()


def test_a_full_disk_fails_the_run_and_keeps_what_was_written(session, scene_running, full_disk):
    proc = session.start(session.bin / "Vidorra.exe", "-recx", *region_switches(10),
                         "-a", "X:\\full.avi")
    assert proc.wait(timeout=60) == 1
    assert not message_boxes(session)
    avi = full_disk / "full.avi"
    frames = scene.decode_frames(avi)
    assert len(frames) >= 1 and plays_to_the_end(avi)
    assert scene.check_region(frames[0], X, Y) > 0.95


def test_a_start_key_during_the_failure_message_starts_nothing_and_the_take_plays(
        session, scene_running, full_disk, fresh_settings):
    # Started by the hot key from an idle window: the failure is told in a message box.
    proc = session.start(session.bin / "Vidorra.exe", *region_switches(10), "-a", "X:\\full.avi")
    session.wait_window("Vidorra")
    key(session, "F2")
    box, text = wait_message(session, "could not be written", timeout=60)
    assert "The video could not be written" in text and "kept" in text, text
    avi = full_disk / "full.avi"
    take = avi.read_bytes()
    # Pressed again while the box is up: with numbering off a new start would delete the take.
    key(session, "F2")
    time.sleep(2)
    assert avi.read_bytes() == take
    dismiss(session, box)
    time.sleep(1)
    assert not message_boxes(session)
    assert avi.read_bytes() == take
    assert len(scene.decode_frames(avi)) >= 1 and plays_to_the_end(avi)
    session.close_window(session.find_top("Vidorra", visible=False)["hwnd"])
    assert proc.wait(timeout=30) == 0


def test_a_message_box_held_open_during_a_recording_loses_no_frame(
        session, scene_running, tmp_path, stay_visible):
    avi = tmp_path / "about.avi"
    # Below the main window, which stays on the screen.
    x, y = 0, 600
    proc = session.start(session.bin / "Vidorra.exe", "-rec", *region_switches(10, x, y, h=160),
                         "-a", session.windows_path(avi))
    wait_until(lambda: avi.exists(), 30, what="the recording to start")
    time.sleep(1)
    # The About box runs its own message loop for five seconds.
    dialog = session.find_top("Vidorra", visible=False)
    session.probe("syscommand", dialog["hwnd"], 16)
    about = wait_until(lambda: [w for w in session.windows()
                                if w["text"] == "About Vidorra" and w["visible"]],
                       10, what="the About box")[0]
    time.sleep(5)
    session.close_window(about["hwnd"])
    time.sleep(1)
    assert not message_boxes(session), "the recording ended while the box was open"
    session.close_window(dialog["hwnd"])
    assert proc.wait(timeout=30) == 0

    frames = scene.decode_frames(avi)
    counters = [scene.read_counter(frame, x, y) for frame in frames]
    assert None not in counters
    steps = [scene.counter_steps(a, b) for a, b in zip(counters, counters[1:])]
    # 50 counts a second, 5 a frame at 10 fps. The box was open for five of the seven seconds
    # or so: at least that long a run of frames has no gap. (Wine may hold the window for a
    # moment when the box hands the activation back; that gap is not the box's loop.)
    longest = run = 0
    for step in steps:
        run = run + 1 if step <= 15 else 0
        longest = max(longest, run)
    assert longest >= 50, steps
