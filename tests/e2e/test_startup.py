"""Starting the program as a user would: with and without its resource library."""

import shutil

from winesession import wait_until

TITLE = "Vidorra"


def _dialog_texts(session, top):
    return {w["id"]: w for w in session.children(top)}


def test_missing_resource_library_is_reported_and_the_program_ends(session, tmp_path):
    lonely = tmp_path / "alone"
    lonely.mkdir()
    shutil.copy(session.bin / "Vidorra.exe", lonely)
    proc = session.start(lonely / "Vidorra.exe")

    def message_box():
        for w in session.windows():
            if w["hwnd"] == w["top"] and w["class"] == "#32770" and w["visible"]:
                texts = [c["text"] for c in session.children(w)]
                if "VidRes.dll not found, exiting." in texts:
                    return w
        return None

    box = wait_until(message_box, 30, what="the missing-library message")
    session.screenshot("startup-missing-vidres")
    buttons = [c for c in session.children(box) if c["class"] == "Button"]
    assert [b["text"] for b in buttons] == ["OK"]
    session.command(box["hwnd"], 1)
    # A start that failed must not look like success to a script.
    assert proc.wait(timeout=30) == 1
    assert session.find_top(TITLE) is None


def test_main_dialog_shows_its_four_tabs_and_closes(session):
    proc = session.start(session.bin / "Vidorra.exe")
    dlg = session.wait_window(TITLE)
    controls = _dialog_texts(session, dlg)
    for cid in (1000, 1001, 1002, 1003, 1075, 1065):
        assert cid in controls, f"control {cid} missing from the main dialog"
    assert controls[1065]["class"] == "SysTabControl32"
    tabs = session.wine(session.bin / "winprobe.exe", "tabs", controls[1065]["hwnd"]).stdout
    assert tabs.splitlines() == ["Region", "Hot Keys", "Video", "Sound"]
    # The region page is the one shown first, inside the dialog.
    visible_pages = [w for w in session.children(dlg)
                     if w["class"] == "#32770" and w["visible"] and w["parent"] == dlg["hwnd"]]
    assert len(visible_pages) == 1
    page = visible_pages[0]
    l, t, r, b = dlg["rect"]
    pl, pt, pr, pb = page["rect"]
    assert l <= pl and t <= pt and pr <= r and pb <= b
    session.screenshot("main-dialog")

    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0
    wait_until(lambda: session.find_top(TITLE) is None, 10, what="the dialog to go")
