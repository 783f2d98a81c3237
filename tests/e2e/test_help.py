"""Help as a user meets it: Help on each tab and in the About box opens the help viewer at that
tab's topic, a link followed in the viewer shows the linked topic, the viewer goes when the
program closes, and the build ships the help file, its contents file, readme.txt and
file_id.diz beside the program. Each shown topic is kept as a screenshot."""

import time

import pytest

import scene
from recorder import TITLE, key
from winesession import wait_until

ID_HELP = 57670
SC_ABOUT = 16
TAB_TOPICS = ["The Region tab", "The Hot Keys tab", "The Video tab", "The Sound tab"]


def viewer_text(session):
    """The text the help viewer shows, or None while no viewer is up."""
    windows = session.windows()
    viewers = {w["hwnd"] for w in windows if w["hwnd"] == w["top"] and w["class"] == "MS_WINHELP"
               and w["visible"]}
    for w in windows:
        if w["top"] in viewers and "richedit" in w["class"].lower():
            return w
    return None


def wait_topic(session, title, timeout=30):
    """Waits until the viewer shows the topic whose first line is `title`; returns its window."""
    def shown():
        w = viewer_text(session)
        return w if w and w["text"].startswith(title + "\r") else None
    try:
        return wait_until(shown, timeout, what=f"the help topic '{title}'")
    except TimeoutError:
        w = viewer_text(session)
        pytest.fail(f"expected topic '{title}', the viewer shows "
                    f"{w['text'][:80]!r}" if w else f"no help viewer for '{title}'")


def main_dialog(session):
    windows = session.windows()
    for w in windows:
        if w["hwnd"] == w["top"] and w["text"] == TITLE and w["class"] == "#32770" and \
                any(c["top"] == w["hwnd"] and c["id"] == 1065 for c in windows):
            controls = {c["id"]: c for c in windows if c["parent"] == w["hwnd"]}
            return w, controls
    return None


def test_help_on_each_tab_and_in_about_opens_its_topic_and_goes_with_the_program(
        session, fresh_settings):
    proc = session.start(session.bin / "Vidorra.exe")
    top, controls = wait_until(lambda: main_dialog(session), 30, what="the main dialog")
    for index, title in enumerate(TAB_TOPICS):
        session.probe("tab", controls[1065]["hwnd"], index)
        session.probe("click", controls[ID_HELP]["hwnd"])
        text = wait_topic(session, title)
        assert len(text["text"]) > 600, "a topic written for a user, not a stub"
        session.screenshot(f"help_topic_{5 + index}")

    # The About box: the version as the template formats it, then its own Help.
    session.probe("syscommand", top["hwnd"], SC_ABOUT)
    about = session.wait_window("About Vidorra")
    texts = [w["text"] for w in session.children(about)]
    assert "Version 1.30.0 (for Intel processors)" in texts
    session.screenshot("about_box")
    helps = [w for w in session.children(about) if w["id"] == ID_HELP]
    session.probe("click", helps[0]["hwnd"])
    text = wait_topic(session, "About Vidorra")
    for switch in ("-recx", "-dumpopts", "Vidorra.Application", r"Software\Talvenor\Vidorra"):
        assert switch in text["text"]
    session.command(about["hwnd"], 1)
    wait_until(lambda: session.find_top("About Vidorra") is None, 20, what="the About box to go")
    session.screenshot("help_topic_9")

    # Closing the program tells the viewer to quit.
    session.close_window(top["hwnd"])
    proc.wait(timeout=30)
    wait_until(lambda: viewer_text(session) is None, 20, what="the help viewer to close")


def test_the_viewer_opens_the_shipped_file_and_follows_a_link(session):
    for name in ("Vidorra.hlp", "Vidorra.cnt", "readme.txt", "file_id.diz"):
        assert (session.bin / name).is_file(), f"{name} is not beside Vidorra.exe"
    diz = (session.bin / "file_id.diz").read_bytes()
    lines = diz.split(b"\r\n")
    assert lines[-1] == b"" and len(lines) - 1 <= 10
    assert all(len(line) <= 45 and b"\n" not in line for line in lines)
    assert b"\r\n" in (session.bin / "readme.txt").read_bytes()
    assert (session.bin / "Vidorra.cnt").read_bytes().startswith(b":Base Vidorra.hlp\r\n")

    viewer = session.start("winhlp32.exe", "Vidorra.hlp", cwd=session.bin)
    text = wait_topic(session, "Vidorra Help")
    # The link "Sound" of the contents list, after its bullet and tab; the control counts a
    # paragraph end as one character.
    plain = text["text"].replace("\r\n", "\r")
    index = plain.index("\tSound:") + 1
    x, y = map(int, session.probe("charpos", text["hwnd"],
                                 index).stdout.split())
    session.run("xdotool", "mousemove", x + 4, y + 6, "click", "1")
    text = wait_topic(session, "The Sound tab")
    assert "Why sound is off for time-lapse" in text["text"]
    session.screenshot("help_link_followed")
    session.close_window(viewer_text(session)["top"])
    viewer.wait(timeout=30)


def test_a_missing_help_file_is_the_viewers_to_report_and_holds_no_recording(
        session, fresh_settings, tmp_path):
    program = tmp_path / "program"
    program.mkdir()
    for name in ("Vidorra.exe", "VidRes.dll"):
        (program / name).write_bytes((session.bin / name).read_bytes())
    avi = tmp_path / "during_help.avi"
    proc = session.start(program / "Vidorra.exe", "-i-", "-a", session.windows_path(avi))
    top, controls = wait_until(lambda: main_dialog(session), 30, what="the main dialog")
    session.probe("click", controls[ID_HELP]["hwnd"])

    def viewer_message():
        for w in session.windows():
            if w["hwnd"] == w["top"] and w["class"] == "#32770" and w["visible"] and \
                    w["pid"] != top["pid"]:
                return w
        return None
    message = wait_until(viewer_message, 30, what="the help viewer's message")
    session.screenshot("help_file_missing")

    # With the viewer's message still up, the Start hot key records and stops as ever.
    def record_caption():
        return main_dialog(session)[1][1000]["text"]
    # Keys reach the session only through a window with the focus: give it to the viewer's
    # message, as a user looking at it would have.
    session.probe("focus", message["hwnd"], check=False)
    session.run("xdotool", "search", "--name", f"^{message['text']}$", "windowfocus", "--sync",
                check=False)
    key(session, "F2")
    wait_until(lambda: avi.exists() and record_caption() != "Record", 30,
               what="the recording to start")
    time.sleep(1)
    key(session, "F2")
    wait_until(lambda: record_caption() == "Record", 30, what="the recording to stop")
    assert viewer_message() is not None
    # About a second of frames: the take is in the file, whatever compressor made it.
    assert int(scene.video_stream(scene.probe(avi))["nb_frames"]) >= 5
    session.command(message["hwnd"], 7)  # No: do not look for the file
    session.close_window(top["hwnd"])
    proc.wait(timeout=30)
