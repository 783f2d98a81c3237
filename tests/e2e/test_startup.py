"""Starting the program without its resource library. (A normal start: test_pages.)"""

import shutil

from winesession import wait_until

TITLE = "Vidorra"


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
