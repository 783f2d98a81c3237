"""Choosing the region on the screen as a user does, from the region page's buttons: two clicks
on the full-screen selector, the keyboard, pointing at a window, cancelling. Checked through the
page's fields, the registry, the next recording and screenshots of the screen."""

import json
import subprocess
import tempfile
import time

import pytest

import scene
from recorder import STATE_KEY, Recording, dismiss, wait_message
from test_control import reg_values
from test_scene import running_scene
from winesession import wait_until

TITLE = "Vidorra"
SELECTOR = "VidorraRegionSelector"
SELECT_REGION = 1019
SELECT_WINDOW = 1020
FIELDS = (1023, 1024, 1025, 1026)  # left, top, width, height
SCREEN = (1024, 768)
BLACK, WHITE = (0, 0, 0), (255, 255, 255)


# The program and its region page

def region_page(windows):
    for w in windows:
        if w["id"] == SELECT_REGION and w["text"] == "&Select Region...":
            return w["parent"]
    return None


def region_fields(session):
    """Left, top, width and height as the region page shows them."""
    windows = session.windows()
    page = region_page(windows)
    texts = {w["id"]: w["text"] for w in windows if w["parent"] == page and w["id"] in FIELDS}
    return tuple(int(texts[i]) for i in FIELDS)


def selector_shown(windows):
    return any(w["class"] == SELECTOR and w["visible"] for w in windows)


def main_dialog(windows):
    return next((w for w in windows if w["hwnd"] == w["top"] and w["text"] == TITLE and
                 w["class"] == "#32770"), None)


def begin(session, command):
    """Presses one of the page's buttons and waits for the selector to take the screen."""
    session.command(region_page(session.windows()), command)
    windows = wait_until(lambda: (lambda w: selector_shown(w) and w)(session.windows()), 10,
                         interval=0.1, what="the selector to show")
    assert main_dialog(windows)["iconic"], "the main dialog stays up during the selection"
    time.sleep(0.3)


def wait_finished(session):
    """The selector is gone and the main dialog back."""
    def finished():
        windows = session.windows()
        dlg = main_dialog(windows)
        return not selector_shown(windows) and dlg and not dlg["iconic"]
    wait_until(finished, 10, interval=0.2, what="the selection to end")


def xdo(session, *args):
    session.run("xdotool", *args)


def click_at(session, x, y, button=1):
    xdo(session, "mousemove", x, y)
    time.sleep(0.2)
    xdo(session, "click", button)
    time.sleep(0.2)


@pytest.fixture
def vidorra(session):
    """Vidorra idle over the test scene (background only, so the screen holds still)."""
    with running_scene(session, "--no-strip"):
        proc = session.start(session.bin / "Vidorra.exe")
        session.wait_window(TITLE)
        wait_until(lambda: region_page(session.windows()), 20, what="the region page")
        yield proc
        if proc.poll() is None:
            close(session, proc)


def close(session, proc):
    session.close_window(main_dialog(session.windows())["hwnd"])
    assert proc.wait(timeout=30) == 0


# Screenshots

def pixels(path):
    """(width, height, rgb bytes) of a screenshot, rows top to bottom."""
    data = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout
    return SCREEN[0], SCREEN[1], data


def differing(a, b):
    """The (x, y) of every pixel that differs between two screenshots."""
    width, height, da = pixels(a)
    _, _, db = pixels(b)
    row = width * 3
    found = []
    for y in range(height):
        ra, rb = da[y * row:(y + 1) * row], db[y * row:(y + 1) * row]
        if ra != rb:
            found += [(x, y) for x in range(width) if ra[x * 3:x * 3 + 3] != rb[x * 3:x * 3 + 3]]
    return found


def label_box(path, area):
    """Bounding box (left, top, right, bottom, inclusive) of the pure black and white pixels in
    area: the size label. The scene has neither colour, nor has anything exclusive-or drawn over
    it."""
    shot = pixels(path)
    left, top, right, bottom = area
    points = [(x, y) for y in range(max(top, 0), min(bottom, SCREEN[1]))
              for x in range(max(left, 0), min(right, SCREEN[0]))
              if scene.pixel(shot, x, y) in (BLACK, WHITE)]
    assert points, "no label"
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def wait_screen_like(session, reference, name):
    """Waits until the screen is pixel for pixel the reference screenshot (windows below the
    selector take a moment to draw themselves again); returns the matching screenshot."""
    def same():
        shot = session.screenshot(name)
        ae = subprocess.run(["compare", "-metric", "AE", str(reference), str(shot), "null:"],
                            capture_output=True, text=True).stderr.strip()
        return ae == "0" and shot
    return wait_until(same, 15, interval=0.5, what=f"the screen to be as in {reference.name}")


# The tests

def test_two_clicks_in_either_order_store_the_region_the_next_recording_has(
        session, vidorra, tmp_path):
    begin(session, SELECT_REGION)
    click_at(session, 263, 187)
    xdo(session, "mousemove", 40, 30)
    time.sleep(0.5)
    shot = session.screenshot("region-selector-rubber-band")
    # "224x158" centred in the region: it fits with room to spare.
    left, top, right, bottom = label_box(shot, (40, 30, 264, 188))
    assert 20 <= right - left < 120 and 6 <= bottom - top < 30
    assert abs((left + right + 1) - (40 + 264)) <= 1
    assert abs((top + bottom + 1) - (30 + 188)) <= 1
    xdo(session, "click", 1)
    wait_finished(session)
    assert region_fields(session) == (40, 30, 224, 158)

    close(session, vidorra)
    state = reg_values(session, STATE_KEY)
    assert [state[k][1] for k in ("StartX", "StartY", "Width", "Height")] == \
        ["0x28", "0x1e", "0xe0", "0x9e"]

    avi = tmp_path / "selected.avi"
    assert Recording(session, avi, "-i-").record(1.0) == 0
    stream = scene.video_stream(scene.probe(avi))
    assert (stream["width"], stream["height"]) == (224, 158)
    frame = scene.decode_frames(avi)[-1]
    assert scene.check_region(frame, 40, 30) > 0.95
    assert scene.check_region(frame, 40 + scene.BLOCK, 30) < 0.5


def test_one_pixel_is_one_by_one_and_keys_move_the_corner_by_single_pixels(session, vidorra):
    begin(session, SELECT_REGION)
    click_at(session, 200, 640)
    time.sleep(0.3)
    shot = session.screenshot("region-selector-one-pixel")
    # Too small to hold "1x1": the label sits just outside the top-left corner.
    left, top, right, bottom = label_box(shot, (100, 580, 280, 700))
    assert (right, bottom) == (199, 639)
    xdo(session, "click", 1)
    wait_finished(session)
    assert region_fields(session) == (200, 640, 1, 1)

    begin(session, SELECT_REGION)
    xdo(session, "mousemove", 200, 150)
    time.sleep(0.2)
    # Crosshair: two right, one down, accepted with Enter.
    xdo(session, "key", "--delay", "100", "Right", "Right", "Down", "Return")
    time.sleep(0.3)
    # Rubber band from (202, 151): the corner to (205, 153), then Tab makes (202, 151) the moving
    # corner, which goes one up and one left.
    xdo(session, "key", "--delay", "100", "Right", "Right", "Right", "Down", "Down", "Tab", "Left",
        "Up")
    time.sleep(0.3)
    location = session.run("xdotool", "getmouselocation", "--shell").stdout
    assert "X=201\n" in location and "Y=150\n" in location, "the pointer did not follow"
    xdo(session, "key", "Return")
    wait_finished(session)
    assert region_fields(session) == (201, 150, 5, 4)


def start_framed_window(session, x, y, w, h):
    """framedwindow.exe at that outer rectangle; returns its process and what it reports."""
    out = tempfile.NamedTemporaryFile(prefix="framed.", suffix=".json", delete=False)
    proc = subprocess.Popen(["wine", str(session.bin / "framedwindow.exe"), *map(str, (x, y, w, h))],
                            env=session.env, stdout=out, stderr=subprocess.DEVNULL,
                            cwd=str(session.bin))
    session.procs.append(proc)
    report = wait_until(lambda: open(out.name).read().strip(), 20, what="the framed window")
    return proc, json.loads(report)


def test_pointing_takes_the_client_area_or_over_the_frame_the_whole_window(session, vidorra):
    framed, info = start_framed_window(session, 600, 80, 300, 200)
    try:
        inner_client, inner = info["inner_client"], info["inner_window"]
        assert inner_client != inner, "the inner window has no frame to point at"
        edge = (inner_client[0], (inner_client[1] + inner_client[3]) // 2)
        cases = [
            ((700, 190), inner_client, True),
            ((700, inner[1] + 8), inner, False),  # on its caption
            ((850, 250), info["client"], False),  # the outer window around it
            ((100, 600), [0, 0, *SCREEN], False),  # the scene: a popup all client area
        ]
        for (x, y), (left, top, right, bottom), watch in cases:
            begin(session, SELECT_WINDOW)
            xdo(session, "mousemove", x, y)
            time.sleep(0.3)
            if watch:
                # The frame on the window's edge comes and goes while the pointer stays.
                seen = set()
                for i in range(6):
                    shot = session.screenshot(f"window-picking-flash-{i}")
                    seen.add(scene.pixel(pixels(shot), *edge))
                    time.sleep(0.15)
                assert (192, 192, 192) in seen and len(seen) > 1, seen
            xdo(session, "click", 1)
            wait_finished(session)
            assert region_fields(session) == (left, top, right - left, bottom - top), (x, y)
    finally:
        framed.kill()


def test_cancelling_keeps_the_region_and_gives_every_pixel_back(session, vidorra):
    before_fields = region_fields(session)
    dlg_left, dlg_top, dlg_right, dlg_bottom = main_dialog(session.windows())["rect"]
    xdo(session, "mousemove", 500, 400)
    time.sleep(0.3)
    before = session.screenshot("selector-before")

    # Crosshair: only its two lines differ from the screen, every pixel of them but the one
    # where they cross. Where the main dialog was, the windows below may show by now.
    begin(session, SELECT_REGION)
    shot = session.screenshot("selector-crosshair")
    changed = [(x, y) for x, y in differing(before, shot)
               if not (dlg_left <= x < dlg_right and dlg_top <= y < dlg_bottom)]
    assert all(x == 500 or y == 400 for x, y in changed)
    on_lines = (SCREEN[0] - (dlg_right - dlg_left)) + (SCREEN[1] - (dlg_bottom - dlg_top)) - 2
    assert len(changed) >= on_lines
    xdo(session, "click", 3)
    wait_finished(session)
    wait_screen_like(session, before, "selector-after-crosshair")

    # Rubber band with its label, cancelled by a right click.
    begin(session, SELECT_REGION)
    click_at(session, 100, 100)
    xdo(session, "mousemove", 260, 220)
    time.sleep(0.3)
    xdo(session, "click", 3)
    wait_finished(session)
    xdo(session, "mousemove", 500, 400)
    wait_screen_like(session, before, "selector-after-rubber-band")

    # A window marked by the flashing frame, cancelled.
    begin(session, SELECT_WINDOW)
    xdo(session, "mousemove", 120, 90)
    time.sleep(0.7)
    xdo(session, "click", 3)
    wait_finished(session)
    xdo(session, "mousemove", 500, 400)
    wait_screen_like(session, before, "selector-after-window")
    assert region_fields(session) == before_fields


def test_switching_to_another_program_cancels_region_but_not_window_selection(
        session, vidorra):
    framed, info = start_framed_window(session, 700, 500, 250, 180)
    try:
        before_fields = region_fields(session)
        begin(session, SELECT_REGION)
        click_at(session, 100, 100)
        xdo(session, "mousemove", 200, 200)
        session.probe("focus", info["hwnd"])
        wait_finished(session)
        assert region_fields(session) == before_fields

        begin(session, SELECT_WINDOW)
        session.probe("focus", info["hwnd"])
        time.sleep(0.5)
        assert selector_shown(session.windows())
        client = info["client"]
        click_at(session, client[2] - 20, client[3] - 20)  # clear of the inner window
        wait_finished(session)
        assert region_fields(session) == \
            (client[0], client[1], client[2] - client[0], client[3] - client[1])
    finally:
        framed.kill()


def test_hot_keys_are_free_during_a_selection_and_a_taken_one_is_reported_after_it(
        session, vidorra):
    begin(session, SELECT_REGION)
    # Released: another program can take F2 now.
    holder = session.start(session.bin / "hotkeyholder.exe", 113)
    try:
        time.sleep(1.0)
        assert holder.poll() is None, "F2 was still held during the selection"
        xdo(session, "click", 3)
        box, text = wait_message(session, "could not be set up")
        assert "F2\nThis hot key could not be set up" in text
        # By the time the message shows, the full-screen selector is gone for good.
        windows = session.windows()
        assert not any(w["class"] == SELECTOR for w in windows)
        assert not main_dialog(windows)["iconic"]
        dismiss(session, box)
    finally:
        holder.kill()
