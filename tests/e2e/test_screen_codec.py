"""Our lossless screen codec end to end: chosen in the compressor list at 32, 16 and 8 bits,
against uncompressed recordings of the same scene."""

import subprocess
import time

import scene
from recorder import Recording
from test_pages import start
from test_scene import running_scene, wait_painted
from winesession import wait_until

# Clear of the main dialog in the middle of the screen, which stays there while a take started
# from it runs.
X, Y, W, H = 16, 16, 256, 192
SWITCHES = ["-x", X, "-y", Y, "-w", W, "-h", H, "-f", 10, "-i-"]
DESCRIPTION = "Vidorra Lossless Screen"


def record_from_list(session, avi, choose):
    """One take started and stopped from the main dialog, with the compressor `choose` picks
    from the list's texts."""
    proc, main = start(session, *SWITCHES)
    main.click("region", 1047)  # stays as it is: no minimised window left over the screen
    main.show("video")
    main.enter("video", 1020, session.windows_path(avi))
    compressors = main.compressors()
    main.choose_compressor(choose(compressors))
    session.command(main.top["hwnd"], 1000)
    wait_until(avi.exists, 30, what="the recording to start")
    time.sleep(2.0)
    session.command(main.top["hwnd"], 1000)
    wait_until(lambda: main.read().controls[1000]["text"] == "Record", 30,
               what="the recording to stop")
    main.close(proc)


def still_pixels(frame):
    """The frame's pixels outside the scene's code blocks, whose counter moves."""
    width, height, data = frame
    return bytes(b for y in range(0, height, 2) for x in range(0, width, 2)
                 if not scene.in_code_block(X + x, Y + y, margin=1)
                 for b in scene.pixel(frame, x, y))


def bytes_per_frame(avi):
    """The frames' own bytes, without the room the file keeps for indexes of a take of any
    length (a few dozen kB that a short take does not fill)."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                          "packet=size", "-of", "csv=p=0", str(avi)],
                         check=True, capture_output=True, text=True, timeout=60).stdout
    sizes = [int(line) for line in out.split() if line.strip()]
    return sum(sizes) / len(sizes)


def check_against_uncompressed(ours, raw, depth):
    stream = scene.video_stream(scene.probe(ours))
    assert stream["codec_name"] == "zmbv"
    assert (int(stream["width"]), int(stream["height"])) == (W, H)
    frames = scene.decode_frames(ours)
    reference = scene.decode_frames(raw, max_frames=1)[0]
    assert len(frames) >= 10
    for frame in frames:
        assert scene.read_counter(frame, X, Y) is not None
        assert scene.check_region(frame, X, Y, depth) > 0.9
        assert still_pixels(frame) == still_pixels(reference)


def test_automatic_choice_at_32_bits_is_the_codec_exact_and_50_times_smaller(
        session, fresh_settings, tmp_path):
    ours, raw = tmp_path / "auto.avi", tmp_path / "raw.avi"
    with running_scene(session):
        wait_painted(session, tmp_path)
        assert Recording(session, ours, *SWITCHES).record(3.0) == 0
        record_from_list(session, raw, lambda texts: len(texts) - 1)
    assert scene.video_stream(scene.probe(raw))["codec_name"] == "rawvideo"
    check_against_uncompressed(ours, raw, 24)
    assert bytes_per_frame(raw) / bytes_per_frame(ours) >= 50



def test_chosen_in_the_list_at_16_and_8_bits_records_exact_playable_files(deep_session, tmp_path):
    session = deep_session
    ours, raw = tmp_path / "ours.avi", tmp_path / "raw.avi"
    with running_scene(session):
        time.sleep(1.5)  # painted
        record_from_list(session, ours, lambda texts: texts.index(DESCRIPTION))
        record_from_list(session, raw, lambda texts: len(texts) - 1)
    check_against_uncompressed(ours, raw, session.depth)
