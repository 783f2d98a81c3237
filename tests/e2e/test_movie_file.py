"""The movie file on disk: a take whose program is killed still plays and is made whole by
-repair, and two copies recording with numbered names at the same moment never share a file.
(A real take of several gigabytes is bench/huge_take.sh; the writer's arithmetic past 2 and
4 GiB is tested natively, and the file's offsets there by the Win32 tests.)"""

import os
import shutil
import signal
import subprocess
import time

import scene
from recorder import STATE_KEY, Recording, message_boxes, wait_message
from sound import Sync, audio_stream, read_sound
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
