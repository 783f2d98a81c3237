"""The option pages as a user drives them: what is set on a page survives a restart, Defaults
resets every page, a bad value is refused, the compressor chosen in the list is the one that
records, and every tab shows its page whole."""

import re
import time

import pytest

import scene
from recorder import KEYS_KEY, STATE_KEY, dismiss, key, message_boxes, wait_message
from test_control import reg_values
from winesession import wait_until

TITLE = "Vidorra"

# A control only each page has, to tell the pages apart (control ids repeat between pages).
PAGE_MARKERS = {"region": 1076, "hotkeys": 1018, "video": 1058, "sound": 1069}
TABS = {"region": 0, "hotkeys": 1, "video": 2, "sound": 3}


class MainWindow:
    """The running program's main dialog and its four pages, read through the probe."""

    def __init__(self, session):
        self.session = session
        self.read()

    def read(self):
        windows = self.session.windows()
        tops = [w for w in windows if w["hwnd"] == w["top"] and w["text"] == TITLE and
                w["class"] == "#32770" and any(c["top"] == w["hwnd"] and c["id"] == 1065
                                               for c in windows)]
        assert tops, "the main dialog is gone"
        self.top = tops[0]
        children = {}
        for w in windows:
            children.setdefault(w["parent"], {})[w["id"]] = w
        self.controls = children.get(self.top["hwnd"], {})
        self.pages = {}
        for w in windows:
            if w["parent"] == self.top["hwnd"] and w["class"] == "#32770":
                for name, marker in PAGE_MARKERS.items():
                    if marker in children.get(w["hwnd"], {}):
                        self.pages[name] = children[w["hwnd"]]
                        self.pages[name][0] = w
        return self

    def probe(self, *args):
        return self.session.probe(*args)

    def control(self, page, control_id):
        return self.pages[page][control_id]

    def text(self, page, control_id):
        return self.control(page, control_id)["text"]

    def checked(self, page, control_id):
        return self.control(page, control_id)["check"] == 1

    def show(self, page):
        """Clicks the page's tab and waits until the page shows."""
        self.probe("tab", self.controls[1065]["hwnd"], TABS[page])
        wait_until(lambda: self.read().pages[page][0]["visible"], 10, what=f"the {page} page")

    def type(self, page, control_id, text):
        """Types into an edit, which keeps the focus."""
        edit = self.control(page, control_id)["hwnd"]
        self.probe("setfocus", edit)
        self.probe("settext", edit, text)

    def enter(self, page, control_id, text):
        """Types into an edit and leaves it for the tab strip, as a click there would. A refusal
        keeps the focus where it was (the check is the caller's)."""
        self.type(page, control_id, text)
        self.session.probe("setfocus",
                          self.controls[1065]["hwnd"], check=False)

    def click(self, page, control_id):
        self.probe("click", self.control(page, control_id)["hwnd"])

    def compressors(self):
        return self.probe("items", self.control("video", 1058)["hwnd"]).stdout.splitlines()

    def choose_compressor(self, index):
        self.probe("select", self.control("video", 1058)["hwnd"], index)

    def close(self, proc):
        self.session.close_window(self.top["hwnd"])
        assert proc.wait(timeout=30) == 0


def refusals(session):
    """The message boxes that refuse a value (the main dialog has the same title)."""
    return [box for box, texts in message_boxes(session)
            if any(t.startswith("Please enter") for t in texts)]


def start(session, *args):
    proc = session.start(session.bin / "Vidorra.exe", *args)
    session.wait_window(TITLE)
    return proc, MainWindow(session)


def test_what_the_pages_set_is_saved_and_shown_again_after_a_restart(
        session, fresh_settings, tmp_path):
    avi = session.windows_path(tmp_path / "paged.avi")
    proc, main = start(session)

    main.enter("region", 1023, "33")
    main.enter("region", 1024, "44")
    main.enter("region", 1025, "160")
    main.enter("region", 1026, "120")
    main.click("region", 1076)  # flashing frame off
    main.click("region", 1047)  # the window stays as it is

    main.show("hotkeys")
    main.click("hotkeys", 1014)  # Alt joins Ctrl+Shift
    main.click("hotkeys", 1018)  # pan locked

    main.show("video")
    main.enter("video", 1020, avi)
    main.click("video", 1022)  # no numbering
    main.enter("video", 1021, "12.5")  # the playback rate follows
    main.enter("video", 1025, "5")
    main.enter("video", 1026, "90")
    main.click("video", 1024)  # sound on

    main.show("sound")
    main.click("sound", 1070)
    main.click("sound", 1072)
    main.close(proc)

    state = reg_values(session, STATE_KEY)
    expected = {"StartX": 33, "StartY": 44, "Width": 160, "Height": 120, "FlashRect": 0,
                "WndHide": 1047, "IncFilename": 0, "FPS": 12500, "FPSPlay": 12500,
                "KeyFrames": 5, "Compress": 90, "RecSound": 1, "SoundSampSize": 16,
                "SoundSampRate": 22050}
    for name, value in expected.items():
        assert state[name] == ("REG_DWORD", hex(value)), name
    assert state["AVIFileName"] == ("REG_SZ", avi)
    keys = reg_values(session, KEYS_KEY)
    assert keys["Pan Modifiers"] == ("REG_DWORD", "0x7")
    assert keys["Pan Locked"] == ("REG_DWORD", "0x1")

    proc, main = start(session)
    assert [main.text("region", i) for i in (1023, 1024, 1025, 1026)] == \
        ["33", "44", "160", "120"]
    assert not main.checked("region", 1076)
    assert [main.checked("region", i) for i in (1047, 1048, 1049, 1050)] == \
        [True, False, False, False]
    assert [main.checked("hotkeys", i) for i in (1012, 1013, 1014, 1018)] == [True] * 4
    assert main.text("video", 1020) == avi
    assert not main.checked("video", 1022)
    assert main.checked("video", 1024) and main.control("video", 1024)["enabled"]
    assert [main.text("video", i) for i in (1021, 1023, 1025, 1026)] == \
        ["12.5", "12.5", "5", "90"]
    assert [main.checked("sound", i) for i in (1069, 1070, 1074, 1071, 1072, 1073)] == \
        [False, True, False, False, True, False]
    main.close(proc)


def test_defaults_reset_every_page_after_confirmation(session, fresh_settings):
    for name, value in (("Width", 200), ("WndHide", 1049), ("FPS", 15000), ("FPSPlay", 5000),
                        ("SoundSampRate", 44100), ("RecSound", 1)):
        session.wine("reg", "add", STATE_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value),
                     "/f")
    session.wine("reg", "add", KEYS_KEY, "/v", "Start Desc", "/d", "Ctrl+F9", "/f")
    proc, main = start(session)
    # Rates that differ: no sound, whatever was stored.
    assert not main.checked("video", 1024) and not main.control("video", 1024)["enabled"]
    assert main.text("hotkeys", 1015) == "Ctrl+F9"
    automatic = main.compressors()[0]
    main.show("video")
    main.choose_compressor(len(main.compressors()) - 1)
    assert main.read().text("video", 1058) != automatic

    main.session.command(main.top["hwnd"], 1003)
    box, _ = wait_message(session, "reset all settings")
    session.command(box["hwnd"], 6)  # Yes
    wait_until(lambda: main.read().text("region", 1025) == "320", 10, what="the defaults")
    assert [main.text("region", i) for i in (1023, 1024, 1025, 1026)] == ["0", "0", "320", "240"]
    assert [main.checked("region", i) for i in (1047, 1048, 1049, 1050)] == \
        [False, True, False, False]
    assert main.checked("region", 1076)
    assert main.text("hotkeys", 1015) == "F2"
    assert [main.text("video", i) for i in (1020, 1021, 1023, 1025, 1026)] == \
        ["clip.avi", "10", "10", "20", "75"]
    assert main.text("video", 1058) == automatic
    assert not main.checked("video", 1024) and main.control("video", 1024)["enabled"]
    assert main.checked("sound", 1069) and main.checked("sound", 1071)
    main.close(proc)


def test_a_bad_value_is_refused_with_a_message_and_the_last_good_one_is_kept(
        session, fresh_settings):
    proc, main = start(session)
    main.enter("region", 1025, "0")
    box, text = wait_message(session, "Please enter an integer between 1 and")
    dismiss(session, box)
    wait_until(lambda: not refusals(session), 10, what="the message to go")
    # The focus went back to the edit; a good value typed there is taken on leaving it.
    main.read()
    main.enter("region", 1025, "256")
    time.sleep(0.5)
    assert not refusals(session)
    # A bad value still in the edit when the window closes is dropped without a message that
    # nobody could answer.
    main.type("region", 1026, "-5")
    main.close(proc)
    state = reg_values(session, STATE_KEY)
    assert state["Width"] == ("REG_DWORD", hex(256))
    assert state["Height"] == ("REG_DWORD", hex(240))


def test_a_value_typed_just_before_closing_is_kept(session, fresh_settings):
    proc, main = start(session)
    main.type("region", 1023, "77")
    main.close(proc)
    assert reg_values(session, STATE_KEY)["StartX"] == ("REG_DWORD", hex(77))


def fourcc_handler(path):
    """The video stream's handler as the movie's stream header names it."""
    data = path.read_bytes()
    at = data.index(b"strh")  # then the chunk's size, "vids" and the handler
    assert data[at + 8:at + 12] == b"vids"
    return data[at + 12:at + 16].decode("latin-1")


def test_the_uncompressed_item_records_raw_frames_and_the_pages_show_what_the_recording_changed(
        session, fresh_settings, tmp_path):
    avi = tmp_path / "raw.avi"
    session.run("xdotool", "mousemove", 100, 100)
    proc, main = start(session)
    main.enter("region", 1025, "64")
    main.enter("region", 1026, "48")
    main.click("region", 1047)  # stays as it is, so its pages can be read while recording
    main.show("hotkeys")
    main.click("hotkeys", 1018)  # the region follows the mouse
    main.show("video")
    main.enter("video", 1020, session.windows_path(avi))
    compressors = main.compressors()
    main.choose_compressor(len(compressors) - 1)
    assert main.read().text("video", 1058) == compressors[-1]

    session.command(main.top["hwnd"], 1000)
    numbered = tmp_path / "raw0001.avi"
    wait_until(numbered.exists, 30, what="the recording to start")
    time.sleep(0.5)
    for x, y in ((200, 160), (300, 220), (400, 300)):
        session.run("xdotool", "mousemove", x, y)
        time.sleep(0.3)
    time.sleep(0.5)
    session.command(main.top["hwnd"], 1000)
    wait_until(lambda: main.read().controls[1000]["text"] == "Record", 30,
               what="the recording to stop")
    # Numbering chose the name, panning moved the region: both pages show it.
    assert main.text("video", 1020) == session.windows_path(numbered)
    shown = (int(main.text("region", 1023)), int(main.text("region", 1024)))
    assert shown != (0, 0)
    main.close(proc)
    state = reg_values(session, STATE_KEY)
    assert shown == (int(state["StartX"][1], 16), int(state["StartY"][1], 16))

    assert fourcc_handler(numbered) == "DIB "
    stream = scene.video_stream(scene.probe(numbered))
    assert stream["codec_name"] == "rawvideo"
    assert (int(stream["width"]), int(stream["height"])) == (64, 48)
    assert int(stream["nb_frames"]) >= 3


def test_a_compressor_that_cannot_take_the_frames_is_reported_and_leaves_no_file(
        session, fresh_settings, tmp_path):
    proc, main = start(session)
    compressors = main.compressors()
    video1 = [i for i, text in enumerate(compressors) if re.search(r"Video 1", text)]
    if not video1:
        main.close(proc)
        pytest.skip("no Video 1 compressor in the list")
    avi = tmp_path / "video1.avi"
    main.show("video")
    main.enter("video", 1020, session.windows_path(avi))
    main.click("video", 1022)  # no numbering: the name is the file
    main.choose_compressor(video1[0])

    session.command(main.top["hwnd"], 1000)
    box, text = wait_message(session, "(Make Compressed Stream)")
    dismiss(session, box)
    wait_until(lambda: main.read().controls[1000]["text"] == "Record", 30,
               what="the program to be idle again")
    assert not avi.exists()
    main.close(proc)


def test_every_tab_shows_its_page_and_closing_ends_the_program(session, fresh_settings):
    proc, main = start(session)
    for cid in (1000, 1001, 1002, 1003, 1075):
        assert cid in main.controls, f"control {cid} missing from the main dialog"
    assert main.controls[1065]["class"] == "SysTabControl32"
    tabs = session.probe("tabs", main.controls[1065]["hwnd"]).stdout
    assert tabs.splitlines() == ["Region", "Hot Keys", "Video", "Sound"]
    # The region page is the one shown first.
    assert [name for name, controls in main.pages.items() if controls[0]["visible"]] == ["region"]
    session.screenshot("main-dialog")
    tab_strip = main.controls[1065]["rect"]
    for page in ("region", "hotkeys", "video", "sound"):
        main.show(page)
        shown = [name for name, controls in main.pages.items() if controls[0]["visible"]]
        assert shown == [page]
        # The page and everything on it lie inside the tab strip's display area.
        left, top, right, bottom = tab_strip
        for control in main.pages[page].values():
            x0, y0, x1, y1 = control["rect"]
            assert left < x0 and top < y0 and x1 < right and y1 < bottom, control
        session.screenshot(f"tab-{page}")
    main.close(proc)
    wait_until(lambda: session.find_top(TITLE) is None, 10, what="the dialog to go")


def press_enter_in(main, page, control_id):
    """Puts the keyboard in an edit of a page and presses Enter there, as a user would."""
    main.session.probe("focus", main.top["hwnd"], check=False)
    main.session.run("xdotool", "search", "--name", f"^{TITLE}$", "windowactivate", "--sync",
                     check=False)
    main.probe("setfocus", main.control(page, control_id)["hwnd"])
    key(main.session, "Return")


def test_enter_in_an_edit_takes_its_value_and_never_closes_the_program(session, fresh_settings):
    proc, main = start(session)

    # A bad value: the same refusal as leaving the edit, and the program stays.
    main.type("region", 1025, "0")
    press_enter_in(main, "region", 1025)
    wait_until(lambda: refusals(session) or proc.poll() is not None, 30,
               what="the refusal or the end of the program")
    assert proc.poll() is None, "Enter in an edit closed the program"
    box, _ = wait_message(session, "Please enter an integer between 1 and")
    dismiss(session, box)
    wait_until(lambda: not refusals(session), 10, what="the message to go")
    # The focus is back in the edit with its text selected: what is typed replaces it.
    session.run("xdotool", "type", "--delay", "50", "200")
    wait_until(lambda: main.read().text("region", 1025) == "200", 10, what="the typed width")

    # A good value: no message, still running.
    main.type("region", 1026, "150")
    press_enter_in(main, "region", 1026)
    time.sleep(1.5)
    assert proc.poll() is None, "Enter in an edit closed the program"
    assert not refusals(session)

    main.show("video")
    main.type("video", 1025, "101")
    press_enter_in(main, "video", 1025)
    box, _ = wait_message(session, "Please enter an integer between 0 and 100")
    dismiss(session, box)
    wait_until(lambda: not refusals(session), 10, what="the message to go")
    main.type("video", 1025, "9")
    press_enter_in(main, "video", 1025)
    time.sleep(1.5)
    assert proc.poll() is None and not refusals(session)

    # Enter with the keyboard on the tab strip does not close it either.
    press_enter_in(main, "video", 1025)
    main.probe("setfocus", main.controls[1065]["hwnd"])
    key(session, "Return")
    time.sleep(1.5)
    assert proc.poll() is None, "Enter on the tab strip closed the program"

    # Enter on a page's button presses it.
    main.show("hotkeys")
    press_enter_in(main, "hotkeys", 1015)
    capture = session.wait_window("Hot Key", timeout=15)
    session.command(capture["hwnd"], 2)
    wait_until(lambda: not session.find_top("Hot Key"), 10, what="the capture dialog to end")
    assert proc.poll() is None

    main.read().close(proc)
    state = reg_values(session, STATE_KEY)
    assert state["Width"] == ("REG_DWORD", hex(200))
    assert state["Height"] == ("REG_DWORD", hex(150))
    assert state["KeyFrames"] == ("REG_DWORD", hex(9))
