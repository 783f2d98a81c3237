"""The movie file on disk: a take whose program is killed still plays and is made whole by
-repair, a full-screen take far past the old 2 GiB limit holds every frame, and two copies
recording with numbered names at the same moment never share a file."""

import os
import shutil
import signal
import subprocess
import time

import scene
from recorder import STATE_KEY, Recording, frames_recorded, message_boxes, wait_message
from sound import Sync, audio_stream, read_sound
from test_pages import fourcc_handler, start
from test_scene import running_scene, wait_painted
from winesession import wait_until


def repair(session, avi):
    return session.wine(session.bin / "Vidorra.exe", "-repair", session.windows_path(avi),
                        check=False).returncode


def decoded(avi, stream="v:0"):
    """Frames (or audio packets) ffmpeg decodes from start to end, and what it said on the way:
    a damaged or cut-off file shows as errors here."""
    result = subprocess.run(
        ["ffmpeg", "-v", "error", "-nostdin", "-i", str(avi), "-map", f"0:{stream}",
         "-f", "framemd5", "-"], capture_output=True, text=True, timeout=1800)
    lines = [line for line in result.stdout.splitlines() if line and not line.startswith("#")]
    return len(lines), result.returncode, result.stderr


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


def test_a_killed_recording_plays_in_step_and_repair_makes_it_whole(session, fresh_settings,
                                                                    tmp_path):
    fps = 10
    with running_scene(session, "--beep-every", 2):
        wait_painted(session, tmp_path)
        avi = tmp_path / "killed.avi"
        rec = Recording(session, avi, "-x", 100, "-y", 80, "-w", 160, "-h", 120, "-f", fps,
                        "-i-", "-s+")
        rec.wait_picture()
        time.sleep(10.5)
        # As a crash, a power cut or the task manager would end it: nothing more is written.
        os.kill(rec.proc.pid, signal.SIGKILL)
        rec.proc.wait(timeout=30)

    # Played as it was left: at least 9 of the 10 seconds, picture and sound in step.
    frames, code, errors = decoded(avi)
    assert frames >= 9 * fps, (frames, errors)
    rate = int(audio_stream(scene.probe(avi))["sample_rate"])
    samples = read_sound(avi)
    assert len(samples) >= 9 * rate, len(samples)
    # The sound is written a little behind the picture, so the picture may go on past the
    # sound's end; in step where both are.
    sync = Sync(avi, rate)
    offsets = [o for f, o in zip(sync.seen, sync.offsets) if f + 2 / fps < sync.sound_seconds]
    assert len(offsets) >= 3, (sync.seen, sync.sound_seconds)
    assert all(abs(o) <= 2 / fps for o in offsets), (sync.offsets, sync.sound_seconds)

    # The program started by hand finds its last take cut off and offers to repair it.
    copy = tmp_path / "copy.avi"
    shutil.copyfile(avi, copy)
    session.wine("reg", "add", STATE_KEY, "/v", "AVIFileName", "/t", "REG_SZ", "/d",
                 session.windows_path(avi), "/f")
    proc = session.start(session.bin / "Vidorra.exe")
    box, text = wait_message(session, session.windows_path(avi))
    session.screenshot("repair-offer")
    session.command(box["hwnd"], 6)  # Yes
    wait_until(lambda: not message_boxes(session), 30, what="the offer to go")
    session.close_window(session.wait_window("Vidorra")["hwnd"])
    assert proc.wait(timeout=30) == 0

    # Made whole: every chunk indexed and counted in the headers, and a second repair has
    # nothing left to do.
    info = scene.probe(avi)
    video = scene.video_stream(info)
    repaired, code, errors = decoded(avi)
    assert code == 0 and not errors, errors
    assert repaired >= frames
    assert int(video["nb_frames"]) >= repaired
    # The header's length of the sound is all of it.
    whole = read_sound(avi)
    assert int(audio_stream(info)["nb_frames"]) == len(whole)
    assert len(whole) >= len(samples)
    made = avi.read_bytes()
    assert repair(session, avi) == 0
    assert avi.read_bytes() == made

    # -repair does the same to the copy of the cut-off take; started by a script, no offer.
    assert repair(session, copy) == 0
    assert copy.read_bytes() == made

    # Not a movie: refused, and left as it was.
    text = tmp_path / "notes.avi"
    text.write_bytes(b"not a movie at all" * 100)
    assert repair(session, text) == 1
    assert text.read_bytes() == b"not a movie at all" * 100
    assert repair(session, tmp_path / "missing.avi") == 1


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


def test_two_copies_numbering_their_takes_never_share_a_file(session, tmp_path):
    with running_scene(session, "--no-strip"):
        wait_painted(session, tmp_path)
        base = session.windows_path(tmp_path / "twin.avi")
        copies = [session.start(session.bin / "Vidorra.exe", "-recx", "-x", 100, "-y", 80,
                                "-w", 64, "-h", 48, "-f", 10, "-i+", "-a", base)
                  for _ in range(2)]
        wait_until(lambda: len(list(tmp_path.glob("twin*.avi"))) >= 2 or
                   any(p.poll() is not None for p in copies), 30, what="both takes to start")
        time.sleep(2)
        # The Start hot key belongs to one of them: close both windows instead.
        for window in [w for w in session.windows()
                       if w["hwnd"] == w["top"] and w["text"] == "Vidorra"
                       and w["class"] == "#32770"]:
            session.close_window(window["hwnd"])
        assert [p.wait(timeout=60) for p in copies] == [0, 0]
    takes = sorted(p.name for p in tmp_path.glob("twin*.avi"))
    assert takes == ["twin0001.avi", "twin0002.avi"], takes
    for take in takes:
        frames, code, errors = decoded(tmp_path / take)
        assert code == 0 and not errors and frames >= 10, (take, frames, errors)
