"""The program as a user drives it: hot keys from another program, the buttons and the status
line, a hot key taken by someone else, closing during a recording, the Play button."""

import re
import subprocess
import time

import scene
from recorder import (STATE_KEY, dialog_controls, dismiss, frames_recorded, key, wait_captions,
                      wait_message)
from winesession import wait_until

TITLE = "Vidorra"


def test_hot_keys_start_pause_take_frames_resume_lock_pan_and_stop(
        session, stay_visible, tmp_path):
    avi = tmp_path / "keys.avi"
    proc = session.start(session.bin / "Vidorra.exe", "-a", session.windows_path(avi), "-i-",
                         "-w", 160, "-h", 120)
    session.wait_window(TITLE)
    wait_captions(session, "Record", "Pause")
    session.screenshot("main-dialog-idle")

    key(session, "F2")
    wait_captions(session, "Stop", "Pause")
    _, controls = dialog_controls(session)
    assert controls[1002]["enabled"] == 0  # Play is off while recording
    session.screenshot("main-dialog-recording")
    time.sleep(1.0)

    key(session, "F3")
    wait_captions(session, "Stop", "Resume")
    session.screenshot("main-dialog-paused")
    for _ in range(3):
        key(session, "F4")
        time.sleep(0.3)
    time.sleep(0.5)
    key(session, "F3")
    wait_captions(session, "Stop", "Pause")

    page_check = lambda: [w for w in session.windows() if w["id"] == 1018][0]["check"]
    assert page_check() == 0
    key(session, "shift+F3")
    wait_until(lambda: page_check() == 1, 10, what="the pan lock to show")
    key(session, "shift+F3")
    wait_until(lambda: page_check() == 0, 10, what="the pan lock to clear")

    time.sleep(0.5)
    key(session, "F2")
    controls = wait_captions(session, "Record", "Pause")
    frames = frames_recorded(controls[1075]["text"], avi.name)
    # Frames in the file: positions the clock passed over hold none and are not counted.
    counted = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                              "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0",
                              str(avi)], capture_output=True, text=True, check=True).stdout
    assert frames == int(counted)
    assert controls[1002]["enabled"] == 1

    dlg, _ = dialog_controls(session)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0


def test_a_hot_key_taken_by_another_program_is_named_and_start_up_goes_on(session):
    holder = session.start(session.bin / "hotkeyholder.exe", 113)  # F2
    try:
        time.sleep(1.0)
        assert holder.poll() is None, "the holder could not take F2"
        proc = session.start(session.bin / "Vidorra.exe")
        box, text = wait_message(session, "could not be set up")
        assert "F2\nThis hot key could not be set up" in text
        dismiss(session, box)
        dlg = session.wait_window(TITLE)
        # Registration stopped at the taken key: F3 is still free for others.
        other = session.start(session.bin / "hotkeyholder.exe", 114)  # F3
        time.sleep(1.0)
        assert other.poll() is None, "Vidorra holds F3 although registration stopped at F2"
        other.kill()
        session.close_window(dlg["hwnd"])
        assert proc.wait(timeout=30) == 0
    finally:
        holder.kill()


def test_closing_during_a_recording_stops_it_and_keeps_the_file(session, tmp_path):
    avi = tmp_path / "closed.avi"
    proc = session.start(session.bin / "Vidorra.exe", "-rec", "-a", session.windows_path(avi),
                         "-i-", "-w", 160, "-h", 120)
    wait_until(lambda: avi.exists(), 30, what="the recording to start")
    time.sleep(1.5)
    dlg = session.find_top(TITLE, visible=False)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0
    # Closed from the window, the movie is complete: every position is indexed, each either a
    # frame that decodes or a position a late tick left empty, and the empty ones are few.
    stream = scene.video_stream(scene.probe(avi))
    sizes = scene.video_packet_sizes(avi)
    assert len(sizes) == int(stream["nb_frames"]) >= 5
    taken = [s for s in sizes if s > 0]
    assert len(scene.decode_frames(avi)) == len(taken)
    assert len(taken) >= 0.7 * len(sizes), sizes


def test_play_opens_the_recorded_file_through_the_shell(session, tmp_path):
    avi = tmp_path / "played.avi"
    avi.write_bytes(b"RIFF")
    opened = tmp_path / "opened.txt"
    classes = "HKCR"  # Wine's shell reads the machine's classes
    session.wine("reg", "add", rf"{classes}\.avi", "/ve", "/d", "VidorraTestMovie", "/f")
    session.wine("reg", "add", rf"{classes}\VidorraTestMovie\shell\open\command", "/ve", "/d",
                 f'cmd.exe /c echo %1> "{session.windows_path(opened)}"', "/f")
    try:
        proc = session.start(session.bin / "Vidorra.exe", "-a", session.windows_path(avi))
        dlg = session.wait_window(TITLE)
        session.command(dlg["hwnd"], 1002)
        wait_until(lambda: opened.exists() and opened.read_text().strip(), 20,
                   what="the shell to open the movie")
        assert opened.read_text().strip().strip('"').lower() == \
            session.windows_path(avi).lower()
        session.close_window(dlg["hwnd"])
        assert proc.wait(timeout=30) == 0
    finally:
        session.wine("reg", "delete", rf"{classes}\.avi", "/f", check=False)
        session.wine("reg", "delete", rf"{classes}\VidorraTestMovie", "/f", check=False)


def reg_values(session, key):
    """The values of a registry key as {name: (type, data)}, read with Wine's reg tool."""
    out = session.wine("reg", "query", key, check=False).stdout
    values = {}
    for line in out.splitlines():
        found = re.match(r"^\s+(.+?)\s+(REG_\w+)\s*(.*)$", line)
        if found:
            values[found.group(1)] = (found.group(2), found.group(3).strip())
    return values


def test_switches_are_saved_but_start_up_flags_are_not(session, tmp_path):
    avi = tmp_path / "saved.avi"
    proc = session.start(session.bin / "Vidorra.exe", "-recx", "-x", 30, "-y", 20, "-w", 160,
                         "-h", 120, "-f", 15, "-k", 7, "-i-", "-a", session.windows_path(avi))
    wait_until(lambda: avi.exists(), 30, what="the recording to start")
    time.sleep(0.5)
    key(session, "F2")
    assert proc.wait(timeout=30) == 0
    state = reg_values(session, STATE_KEY)
    assert state["FPS"] == ("REG_DWORD", "0x3a98")  # 15000
    assert state["FPSPlay"] == ("REG_DWORD", "0x3a98")
    assert state["StartX"][1] == "0x1e" and state["StartY"][1] == "0x14"
    assert state["Width"][1] == "0xa0" and state["Height"][1] == "0x78"
    assert state["KeyFrames"][1] == "0x7"
    assert state["IncFilename"][1] == "0x0"
    assert state["AVIFileName"] == ("REG_SZ", session.windows_path(avi))
    for flag in ("RecordAtStart", "ExitAfterRecording", "DrawCursor", "NoFrameCross"):
        assert flag not in state
    keys = reg_values(session, STATE_KEY.replace("State", "Keys"))
    assert keys["Start Key"][1] == "0x71" and keys["Start Desc"][1] == "F2"
    assert keys["LockPan Desc"][1] == "Shift+F3"


def test_unusable_stored_values_start_with_defaults_and_are_saved_sound(session):
    bad = [("FPS", "REG_DWORD", "0"), ("FPSPlay", "REG_DWORD", "0xFFFFFFFF"),
           ("Width", "REG_SZ", "640"), ("Height", "REG_DWORD", "0"),
           ("WndHide", "REG_DWORD", "7")]
    for name, kind, data in bad:
        session.wine("reg", "add", STATE_KEY, "/v", name, "/t", kind, "/d", data, "/f")
    proc = session.start(session.bin / "Vidorra.exe")
    dlg = session.wait_window(TITLE)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0
    state = reg_values(session, STATE_KEY)
    assert state["FPS"] == ("REG_DWORD", "0x2710")  # the default 10.0
    assert state["FPSPlay"] == ("REG_DWORD", "0x2710")
    assert state["Width"] == ("REG_DWORD", "0x140")
    assert state["Height"] == ("REG_DWORD", "0xf0")
    assert state["WndHide"] == ("REG_DWORD", "0x418")  # 1048


def test_escape_does_not_close_the_idle_main_dialog(session):
    proc = session.start(session.bin / "Vidorra.exe")
    dlg = session.wait_window(TITLE)
    session.probe("focus", dlg["hwnd"], check=False)
    session.run("xdotool", "search", "--name", f"^{TITLE}$", "windowactivate", "--sync",
                check=False)
    key(session, "Escape")
    time.sleep(1.5)
    assert proc.poll() is None
    assert session.find_top(TITLE)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0


def test_closing_while_minimised_keeps_the_windows_own_position(session, fresh_settings):
    proc = session.start(session.bin / "Vidorra.exe")
    dlg = session.wait_window(TITLE)
    left, top = dlg["rect"][0], dlg["rect"][1]
    session.probe("syscommand", dlg["hwnd"], 0xF020)  # minimise
    wait_until(lambda: session.find_top(TITLE, visible=False)["iconic"] == 1, 10,
               what="the window to be minimised")
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0
    state = reg_values(session, STATE_KEY)
    # Where it stands when restored, not the -32000 of a minimised window.
    assert (int(state["WinX"][1], 16), int(state["WinY"][1], 16)) == (left, top)
