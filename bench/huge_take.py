"""A real full-screen take past 3 GiB of uncompressed frames, as a user makes it: OpenDML
'AVIX' segments, each under about 1 GiB, and every frame the program took is in the file and
decodes, past 2 and 4 GiB as before. Run by bench/huge_take.sh (a minute or two and 3.2 GiB of
disk); it prints its figures and fails when a frame is missing."""

import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

import scene  # noqa: E402
from recorder import frames_recorded  # noqa: E402
from test_movie_file import decoded  # noqa: E402
from test_pages import fourcc_handler, start  # noqa: E402
from test_scene import running_scene, wait_painted  # noqa: E402
from winesession import wait_until  # noqa: E402


def chunk_ids(avi):
    """The top-level RIFF segments' forms, in file order."""
    forms = []
    with open(avi, "rb") as f:
        at = 0
        size = os.path.getsize(avi)
        while at + 12 <= size:
            f.seek(at)
            head = f.read(12)
            if head[:4] != b"RIFF":
                break
            forms.append(head[8:12])
            at += 8 + int.from_bytes(head[4:8], "little")
    return forms


def test_a_full_screen_take_past_3_gib_holds_every_frame(session, tmp_path):
    fps = 25
    avi = tmp_path / "long.avi"
    try:
        with running_scene(session):
            wait_painted(session, tmp_path)
            # Uncompressed frames are chosen in the compressor list; the take runs from the
            # window, which stays where it is.
            proc, main = start(session, "-x", 0, "-y", 0, "-w", 1024, "-h", 768, "-f", fps, "-i-",
                               "-s-")
            main.click("region", 1047)
            main.show("video")
            main.enter("video", 1020, session.windows_path(avi))
            main.choose_compressor(len(main.compressors()) - 1)
            session.command(main.top["hwnd"], 1000)
            wait_until(lambda: avi.exists() and avi.stat().st_size > 3 * 1024 ** 3 + 64 * 1024 ** 2,
                       240, interval=1, what="the take to pass 3 GiB")
            session.command(main.top["hwnd"], 1000)
            wait_until(lambda: main.read().controls[1000]["text"] == "Record", 120,
                       what="the recording to stop")
            status = main.read().controls[1075]["text"]
            main.close(proc)

        assert avi.stat().st_size > 3 * 1024 ** 3
        # OpenDML: the first segment and the 'AVIX' ones that go on past it, each under 1 GiB
        # and a bit.
        assert fourcc_handler(avi) == "DIB "
        forms = chunk_ids(avi)
        assert forms[0] == b"AVI " and len(forms) >= 3 and set(forms[1:]) == {b"AVIX"}, forms

        info = scene.probe(avi)
        video = scene.video_stream(info)
        positions = int(video["nb_frames"])
        frames, code, errors = decoded(avi)
        assert code == 0 and not errors, errors

        # Against the scene's clock: the first and the last frame tell how long the take ran,
        # and every frame period of it is in the file.
        first = scene.read_counter(scene.decode_frames(avi, max_frames=1)[0], 0, 0)
        last_frames = scene.decode_frames(avi, select=f"gte(n\\,{frames - 1})")
        last = scene.read_counter(last_frames[-1], 0, 0)
        assert first is not None and last is not None
        ran = scene.counter_steps(first, last) / scene.DEFAULT_RATE
        print(f"{positions} positions, {frames} frames, {ran:.2f} s by the scene's clock, "
              f"{avi.stat().st_size / 1024 ** 3:.2f} GiB")
        assert abs(positions - (ran * fps + 1)) <= 2, (positions, ran)
        # A disk slower than the frames leaves positions empty (a player shows the frame
        # before), and the program counts them as dropped; every frame it took is in the file,
        # past 2 GiB as before it.
        assert frames == frames_recorded(status), (frames, status)
    finally:
        avi.unlink(missing_ok=True)
