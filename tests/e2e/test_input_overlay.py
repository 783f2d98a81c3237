"""Clicks and keys drawn into the movie: a ring where a button went down inside the region for a
third of a second, the keys pressed in a box at the lower edge for a second and a half, exactly
as the program's own painter draws it; nothing for a click outside the region or keys typed into
a password field, and nothing at all with both options off."""

import time

import pytest

import scene
from recorder import Recording
from test_scene import running_scene, wait_painted
from winesession import wait_until

X, Y, W, H = 100, 80, 480, 360
RATE = 10
AMBER, SKY = (255, 176, 0), (0, 170, 255)  # left and right button
BOX = (32, 32, 32)


@pytest.fixture(scope="module")
def scene_running(session, tmp_path_factory):
    with running_scene(session) as (proc, window):
        wait_painted(session, tmp_path_factory.mktemp("ready"))
        yield window


def switches(*extra):
    return ["-x", X, "-y", Y, "-w", W, "-h", H, "-f", RATE, "-i-", *extra]


def ring_around(frame, sx, sy, colour):
    """How many of the four points of the compass, 15 pixels from screen point (sx, sy), hold
    the ring's colour, and whether its centre does not: a ring centred there gives (4, True)."""
    x, y = sx - X, sy - Y
    hits = sum(scene.pixel(frame, x + dx, y + dy) == colour
               for dx, dy in ((15, 0), (-15, 0), (0, 15), (0, -15)))
    return hits, scene.pixel(frame, x + 3, y - 3) != colour


def count_colour(frame, colour):
    _, _, data = frame
    wanted = bytes(colour)
    return sum(data[i:i + 3] == wanted for i in range(0, len(data), 3))


def runs(flags):
    """(first, length) of each run of True."""
    out, start = [], None
    for i, f in enumerate(flags + [False]):
        if f and start is None:
            start = i
        elif not f and start is not None:
            out.append((start, i - start))
            start = None
    return out


def key_reference(session, tmp_path, *texts):
    """The pixels the program's painter gives the key box, by offset in an rgb24 frame."""
    out = tmp_path / "reference.rgb"
    session.run("wine", session.bin / "overlayref.exe", W, H, session.windows_path(out), *texts)
    data = out.read_bytes()
    return {i: data[i:i + 3] for i in range(0, len(data), 3) if data[i:i + 3] != b"\0\0\0"}


def shows_keys(frame, reference):
    _, _, data = frame
    return all(data[i:i + 3] == px for i, px in reference.items())


def test_clicks_and_keys_show_in_the_frames_and_only_where_they_may(
        session, scene_running, tmp_path, fresh_settings):
    reference = key_reference(session, tmp_path, "Ctrl+S")
    avi = tmp_path / "shown.avi"
    session.run("xdotool", "mousemove", 300, 250)
    rec = Recording(session, avi, *switches("-hc+", "-sk+"))
    rec.wait_started()
    time.sleep(1.5)
    session.run("xdotool", "click", 1)
    left_at = time.monotonic()
    time.sleep(1)
    session.run("xdotool", "mousemove", 450, 300, "click", 3)
    right_at = time.monotonic()
    time.sleep(1)
    session.run("xdotool", "mousemove", 700, 550, "click", 1)  # outside the region
    session.run("xdotool", "mousemove", 300, 250)
    time.sleep(0.5)
    session.run("xdotool", "key", "ctrl+s")
    key_at = time.monotonic()
    time.sleep(2)
    # A password field beside the region: nothing typed there shows.
    box = session.start(session.bin / "passwordbox.exe", 650, 500, 240, 40)
    wait_until(lambda: session.find_top("Password Box"), 20, what="the password box")
    session.run("xdotool", "mousemove", 700, 515)
    time.sleep(0.5)
    session.run("xdotool", "key", "ctrl+s", "F5", "ctrl+v")
    time.sleep(2)
    session.close_window(session.find_top("Password Box")["hwnd"])
    box.wait(timeout=15)
    session.run("xdotool", "mousemove", 300, 250)
    assert rec.stop() == 0

    frames = scene.decode_frames(avi)
    left = runs([ring_around(f, 300, 250, AMBER) == (4, True) for f in frames])
    right = runs([ring_around(f, 450, 300, SKY) == (4, True) for f in frames])
    keys = runs([shows_keys(f, reference) for f in frames])
    assert len(left) == 1 and len(right) == 1 and len(keys) == 1, (left, right, keys)
    # A third of a second of ring, a second and a half of keys, at 10 frames a second.
    assert 2 <= left[0][1] <= 5 and 2 <= right[0][1] <= 5, (left, right)
    assert 13 <= keys[0][1] <= 17, keys
    # Each in its place in time: as far apart in the movie as the input was, within two frames.
    for (start, _), at in ((right[0], right_at), (keys[0], key_at)):
        assert abs((start - left[0][0]) - (at - left_at) * RATE) <= 2, (left, right, keys)
    # Nothing else anywhere: no ring of the click outside, no box from the password field.
    marked = {i for s, n in left + right + keys for i in range(s, s + n)}
    for i, f in enumerate(frames):
        if i not in marked:
            assert count_colour(f, AMBER) + count_colour(f, SKY) + count_colour(f, BOX) == 0, i


def test_with_both_options_off_the_input_leaves_no_mark(
        session, scene_running, tmp_path, fresh_settings):
    avi = tmp_path / "plain.avi"
    session.run("xdotool", "mousemove", 300, 250)
    rec = Recording(session, avi, *switches())
    rec.wait_started()
    time.sleep(1)
    session.run("xdotool", "click", 1, "key", "ctrl+s", "F5")
    time.sleep(1.5)
    assert rec.stop() == 0
    for f in scene.decode_frames(avi):
        assert count_colour(f, AMBER) + count_colour(f, SKY) + count_colour(f, BOX) == 0
