"""Recording on screens of other colour depths, and panning the region with the mouse."""

import time

import scene
from recorder import Recording
from test_recording import H, W, X, Y, region_switches
from test_scene import running_scene



def test_each_colour_depth_records_a_movie_that_plays(deep_session, tmp_path):
    session = deep_session
    with running_scene(session):
        time.sleep(1.5)  # painted
        avi = tmp_path / f"depth{session.depth}.avi"
        assert Recording(session, avi, *region_switches(10)).record(2.0) == 0
    info = scene.probe(avi)
    stream = scene.video_stream(info)
    assert (stream["width"], stream["height"]) == (W, H)
    frames = scene.decode_frames(avi)
    assert len(frames) >= 10
    for frame in frames:
        assert scene.check_region(frame, X, Y, session.depth) > 0.9
        assert scene.read_counter(frame, X, Y) is not None
    if session.depth == 8:
        # The colour table travels with the movie: 256 entries after the 40-byte header.
        assert stream["pix_fmt"] in ("pal8", "bgr8", "rgb8")
        raw = avi.read_bytes()
        strf = raw.index(b"strf")
        size = int.from_bytes(raw[strf + 4:strf + 8], "little")
        assert size == 40 + 4 * 256
    # The stream header names the compressor the frames really went through (at 8 bits Wine's
    # RLE compressor fails at the first frame and the frames go in uncompressed).
    raw = avi.read_bytes()
    strh = raw.index(b"strh")
    assert raw[strh + 8:strh + 12] == b"vids"
    handler = raw[strh + 12:strh + 16]
    expected = {"rawvideo": (b"DIB ", b"\0\0\0\0"), "msrle": (b"MRLE",), "msvideo1": (b"MSVC",),
                "zmbv": (b"ZMBV",)}
    assert handler in expected[stream["codec_name"]], (handler, stream["codec_name"])


def test_ctrl_shift_pans_the_region_with_the_mouse(session, tmp_path):
    with running_scene(session):
        time.sleep(1.5)
        session.run("xdotool", "mousemove", 300, 200)
        avi = tmp_path / "pan.avi"
        rec = Recording(session, avi, *region_switches(10))
        rec.wait_started()
        time.sleep(1.0)
        session.run("xdotool", "keydown", "ctrl", "keydown", "shift")
        for _ in range(8):
            session.run("xdotool", "mousemove_relative", "--", 8, 4)
            time.sleep(0.15)
        session.run("xdotool", "keyup", "shift", "keyup", "ctrl")
        time.sleep(1.0)
        # Without the keys the mouse moves alone.
        session.run("xdotool", "mousemove_relative", "--", 40, 40)
        time.sleep(0.8)
        assert rec.stop() == 0
    frames = scene.decode_frames(avi)
    assert scene.locate(frames[0]) == (X, Y)
    assert scene.locate(frames[-1]) == (X + 64, Y + 32)
