"""Re-binding a hot key as a user does it: a click on the binding's button on the hot-key page
opens the key-capture dialog, keys typed there with the keyboard become the new binding, the new
key works from another program while the old one is let go, and the binding is saved."""

import time

import scene
from recorder import KEYS_KEY, key, wait_captions
from test_control import reg_values
from test_pages import MainWindow
from test_scene import running_scene
from winesession import wait_until

TITLE = "Vidorra"
CAPTURE_TITLE = "Hot Key"
START_BUTTON = 1015
PAUSE_BUTTON = 1016
F2, F7, F9 = 0x71, 0x76, 0x78
MOD_CONTROL, MOD_SHIFT = 2, 4


def click_on_screen(session, control):
    """A real mouse click in the middle of a control."""
    x0, y0, x1, y1 = control["rect"]
    session.run("xdotool", "mousemove", (x0 + x1) // 2, (y0 + y1) // 2, "click", "1")


def rebind(main, button, *keys):
    """Clicks the binding's button, types the keys into the capture dialog and confirms with
    Enter; returns once the dialog has gone."""
    session = main.session
    main.show("hotkeys")
    click_on_screen(session, main.control("hotkeys", button))
    dialog = session.wait_window(CAPTURE_TITLE, timeout=15)
    time.sleep(0.5)  # the control takes the focus once the dialog shows
    if keys:
        key(session, *keys)
        time.sleep(0.3)
    key(session, "Return")
    wait_until(lambda: not session.find_top(CAPTURE_TITLE), 10, what="the capture dialog to end")
    return dialog


def activate(session, title):
    """Gives the keyboard to another program's window, as a user's click there would."""
    window = session.find_top(title)
    session.probe("focus", window["hwnd"], check=False)
    session.run("xdotool", "search", "--name", f"^{title}$", "windowactivate", "--sync",
                check=False)


def test_a_new_start_key_records_from_another_program_and_the_old_one_is_let_go(
        session, fresh_settings, stay_visible, tmp_path):
    avi = tmp_path / "rebound.avi"
    proc = session.start(session.bin / "Vidorra.exe", "-a", session.windows_path(avi), "-i-",
                         "-w", 160, "-h", 120)
    session.wait_window(TITLE)
    main = MainWindow(session)
    assert main.text("hotkeys", START_BUTTON) == "F2"

    rebind(main, START_BUTTON, "ctrl+F9")
    wait_until(lambda: main.read().text("hotkeys", START_BUTTON) == "Ctrl+F9", 10,
               what="the page to show the new key")
    session.screenshot("hot-key-rebound")

    # F2 is free for others again; the holder says so by staying alive.
    holder = session.start(session.bin / "hotkeyholder.exe", F2)
    time.sleep(1.0)
    assert holder.poll() is None, "Vidorra still holds F2 after it was re-bound"
    holder.kill()
    holder.wait(timeout=10)

    with running_scene(session):
        activate(session, "Test Scene")
        key(session, "F2")
        time.sleep(2.0)
        assert not avi.exists(), "the old key started a recording"
        wait_captions(session, "Record", "Pause", timeout=1)

        key(session, "ctrl+F9")
        wait_captions(session, "Stop", "Pause")
        wait_until(avi.exists, 15, what="the movie file")
        time.sleep(1.0)
        key(session, "ctrl+F9")
        wait_captions(session, "Record", "Pause", timeout=30)

    stream = scene.video_stream(scene.probe(avi))
    assert (int(stream["width"]), int(stream["height"])) == (160, 120)
    assert int(stream["nb_frames"]) >= 3

    main.read().close(proc)
    keys = reg_values(session, KEYS_KEY)
    assert keys["Start Key"] == ("REG_DWORD", hex(F9))
    assert keys["Start Mod"] == ("REG_DWORD", hex(MOD_CONTROL))
    assert keys["Start Desc"] == ("REG_SZ", "Ctrl+F9")
    # The others are untouched.
    assert keys["Pause Key"] == ("REG_DWORD", hex(0x72)) and keys["Pause Desc"][1] == "F3"

    # The next run holds the saved key and shows it.
    proc = session.start(session.bin / "Vidorra.exe")
    session.wait_window(TITLE)
    main = MainWindow(session)
    assert main.text("hotkeys", START_BUTTON) == "Ctrl+F9"
    taker = session.start(session.bin / "hotkeyholder.exe", F9, MOD_CONTROL)
    time.sleep(1.0)
    assert taker.poll() == 1, "the saved key was not held again after a restart"
    main.close(proc)


def test_a_key_alone_becomes_ctrl_shift_and_cancel_or_no_key_changes_nothing(
        session, fresh_settings, stay_visible):
    proc = session.start(session.bin / "Vidorra.exe")
    session.wait_window(TITLE)
    main = MainWindow(session)

    # Confirmed before any key was pressed: nothing changes.
    rebind(main, PAUSE_BUTTON)
    time.sleep(0.5)
    assert main.read().text("hotkeys", PAUSE_BUTTON) == "F3"

    # A key typed alone would take it from every program: it is taken with Ctrl+Shift.
    rebind(main, PAUSE_BUTTON, "F7")
    wait_until(lambda: main.read().text("hotkeys", PAUSE_BUTTON) == "Ctrl+Shift+F7", 10,
               what="the page to show Ctrl+Shift+F7")

    # Cancel after typing keeps the binding just made.
    main.show("hotkeys")
    click_on_screen(session, main.control("hotkeys", PAUSE_BUTTON))
    dialog = session.wait_window(CAPTURE_TITLE, timeout=15)
    time.sleep(0.5)
    key(session, "ctrl+F11")
    cancel = [c for c in session.children(dialog) if c["id"] == 2][0]
    click_on_screen(session, cancel)
    wait_until(lambda: not session.find_top(CAPTURE_TITLE), 10, what="the capture dialog to end")
    assert main.read().text("hotkeys", PAUSE_BUTTON) == "Ctrl+Shift+F7"

    # The new Pause key is held (another program cannot have it), F3 is not.
    taker = session.start(session.bin / "hotkeyholder.exe", F7, MOD_CONTROL | MOD_SHIFT)
    time.sleep(1.0)
    assert taker.poll() == 1, "Ctrl+Shift+F7 is not held after the re-binding"
    holder = session.start(session.bin / "hotkeyholder.exe", 0x72)
    time.sleep(1.0)
    assert holder.poll() is None, "F3 is still held after Pause was re-bound"
    holder.kill()
    holder.wait(timeout=10)

    main.close(proc)
    keys = reg_values(session, KEYS_KEY)
    assert keys["Pause Key"] == ("REG_DWORD", hex(F7))
    assert keys["Pause Mod"] == ("REG_DWORD", hex(MOD_CONTROL | MOD_SHIFT))
    assert keys["Pause Desc"] == ("REG_SZ", "Ctrl+Shift+F7")
