"""The test scene that recordings are checked against: recorded here with ffmpeg's own screen
grabber, so the scene and its readers are known good before they judge the program."""

import contextlib
import statistics

import pytest

import scene
from winesession import wait_until

TITLE = "Test Scene"
REGION = (100, 80, 320, 240)  # x, y, width, height


@contextlib.contextmanager
def running_scene(session, *args):
    """The scene on the screen; afterwards closed with WM_CLOSE, as a test of its own would,
    so it covers no later test. It must then end with exit status 0."""
    # The pointer stays where earlier tests left it; away from the region it hides nothing.
    session.run("xdotool", "mousemove", 1000, 740)
    proc = session.start(session.bin / "testscene.exe", *args)
    try:
        yield proc, session.wait_window(TITLE)
    except BaseException:
        proc.kill()
        raise
    if proc.poll() is None:
        window = session.find_top(TITLE)
        assert window, "the scene's window is gone but its process runs on"
        session.close_window(window["hwnd"])
    assert proc.wait(timeout=15) == 0


def grab(session, path, region=REGION, seconds=1.0, fps=10, frames=None):
    """Records a screen region with ffmpeg, uncompressed, into an AVI."""
    x, y, w, h = region
    length = ["-frames:v", frames] if frames else ["-t", seconds]
    # No probing of the grabber: it would read a second or two of frames before the first.
    session.run("ffmpeg", "-v", "error", "-y", "-probesize", 32, "-analyzeduration", 0,
                "-f", "x11grab", "-video_size", f"{w}x{h}", "-framerate", fps,
                "-i", f"{session.env['DISPLAY']}+{x},{y}", *length,
                "-c:v", "rawvideo", "-pix_fmt", "bgr24", path, timeout=60)
    return path


def wait_painted(session, tmp_path, depth=24):
    """Waits until the scene's background is on the screen (the window shows before it paints)
    and returns that frame."""
    def painted():
        frame = scene.decode_frames(grab(session, tmp_path / "ready.avi", frames=1))[0]
        return scene.check_region(frame, REGION[0], REGION[1], depth) > 0.95 and frame
    return wait_until(painted, 20, interval=0.3, what="the scene to be painted")


def check_recording(path, depth, rate_per_frame):
    """The checks every recording of the scene must pass: the right region the right way up in
    every frame, and a counter that runs forward at about the expected steps per frame."""
    x, y, w, h = REGION
    stream = scene.video_stream(scene.probe(path))
    assert (stream["width"], stream["height"]) == (w, h)
    frames = scene.decode_frames(path)
    assert len(frames) >= 8
    counters = []
    for frame in frames:
        assert scene.check_region(frame, x, y, depth) > 0.95
        assert scene.locate(frame, depth) == (x, y)
        # Upside down, one block off or elsewhere, the same frame must fail.
        assert scene.check_region(scene.flipped(frame), x, y, depth) < 0.5
        assert scene.check_region(frame, x + scene.BLOCK, y, depth) < 0.5
        assert scene.check_region(frame, x, y - scene.BLOCK, depth) < 0.5
        assert scene.read_counter(scene.flipped(frame), x, y) is None
        values = scene.read_counters(frame, x, y)
        # 320x240 from (100, 80) holds 4x3 whole code blocks; the cursor may hide one.
        assert len(values) >= 11
        assert len(set(values)) <= 2, "blocks of one frame disagree by more than a step"
        counters.append(values[0])
    steps = [scene.counter_steps(a, b) for a, b in zip(counters, counters[1:])]
    assert all(0 < s < 1000 for s in steps), f"counters not increasing: {counters}"
    # Loose: the grabber's timing under load is no business of this test.
    assert rate_per_frame / 2 <= statistics.median(steps) <= rate_per_frame * 2, counters
    return frames


def test_recorded_region_is_at_its_place_the_right_way_up_and_counts_forward(session, tmp_path):
    with running_scene(session) as (proc, window):
        # Covers the whole screen.
        assert window["rect"] == [0, 0, 1024, 768]
        wait_painted(session, tmp_path)
        # The arrow over a code block and the background: readers must get past it.
        session.run("xdotool", "mousemove", 200, 150)
        path = grab(session, tmp_path / "scene.avi")
        session.screenshot("testscene")
        # 50 steps a second by default, 10 frames a second.
        frames = check_recording(path, 24, 5)
        assert proc.poll() is None

    picked = scene.decode_frames(path, every=3, max_frames=2)
    assert [f[2] for f in picked] == [frames[0][2], frames[3][2]]


def test_rate_option_sets_the_counter_speed(session, tmp_path):
    with running_scene(session, "--rate", 200):
        wait_painted(session, tmp_path)
        check_recording(grab(session, tmp_path / "fast.avi"), 24, 20)


def test_without_strip_only_background_shows_and_seconds_option_ends_the_scene(session, tmp_path):
    with running_scene(session, "--no-strip", "--seconds", 4) as (proc, _):
        frame = wait_painted(session, tmp_path)
        x, y, w, h = REGION
        assert scene.read_counter(frame, x, y) is None
        # Where code blocks would be, the background shows.
        inside = [(fx, fy) for fy in range(4, h, 8) for fx in range(4, w, 8)
                  if scene.in_code_block(x + fx, y + fy, margin=-3)]
        assert inside
        assert all(scene.colour_close(scene.pixel(frame, fx, fy),
                                      scene.expected_colour(x + fx, y + fy))
                   for fx, fy in inside)
        assert proc.wait(timeout=15) == 0


@pytest.fixture
def session16(screens):
    return screens(16)


def test_scene_reads_back_exactly_from_a_16_bit_screen(session16, tmp_path):
    with running_scene(session16) as (_, window):
        assert window["rect"] == [0, 0, 1024, 768]
        wait_painted(session16, tmp_path, depth=16)
        check_recording(grab(session16, tmp_path / "scene16.avi"), 16, 5)
