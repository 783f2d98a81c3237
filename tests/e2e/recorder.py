"""Drives Vidorra.exe the way a script would: start it recording with switches, stop it with the
Start hot key, and read the messages it shows."""

import contextlib
import os
import re
import subprocess
import time
from pathlib import Path

import pytest

from winesession import wait_until

TITLE = "Vidorra"
# Where the program keeps its settings.
SETTINGS_KEY = r"HKCU\Software\Talvenor\Vidorra"
STATE_KEY = SETTINGS_KEY + r"\State"
KEYS_KEY = SETTINGS_KEY + r"\Keys"


def message_boxes(session, title=TITLE):
    """The visible message boxes titled `title`, each with the texts of its controls."""
    boxes = []
    windows = session.windows()
    for w in windows:
        if w["hwnd"] == w["top"] and w["class"] == "#32770" and w["visible"] and \
                w["text"] == title:
            controls = [c for c in windows if c["top"] == w["hwnd"] and c is not w]
            if any(c["id"] == 1000 for c in controls):
                continue  # the main window, which has the same title
            boxes.append((w, [c["text"] for c in controls]))
    return boxes


def wait_message(session, contains, timeout=30):
    """Waits for a message box whose text holds `contains`; returns (box, full text)."""
    def found():
        for box, texts in message_boxes(session):
            text = "\n".join(texts)
            if contains in text:
                return box, text
        return None
    return wait_until(found, timeout, what=f"a message saying '{contains}'")


def dismiss(session, box):
    session.command(box["hwnd"], 1)


def dialog_controls(session):
    """The main dialog and its controls by id, or (None, {}) before it shows."""
    dlg = session.find_top(TITLE, visible=False)
    if not dlg:
        return None, {}
    return dlg, {c["id"]: c for c in session.children(dlg) if c["parent"] == dlg["hwnd"]}


def wait_captions(session, record, pause, timeout=20):
    """Waits until the start/stop and pause buttons read as given: the state has changed."""
    def match():
        _, c = dialog_controls(session)
        return c and c[1000]["text"] == record and c[1001]["text"] == pause and c
    return wait_until(match, timeout, what=f"buttons '{record}' and '{pause}'")


def frames_recorded(status, name=None):
    """The frames a stop's status line says were recorded: "NAME: N frames recorded, M
    dropped", NAME the take's file name."""
    match = re.fullmatch(rf"{re.escape(name) if name else '[^:]+'}: (\d+) frames recorded, "
                         r"\d+ dropped", status)
    assert match, status
    return int(match.group(1))


def key(session, *keys):
    """Presses keys as a user would. The X server here gives a key to the window under the
    pointer, and over the bare desktop no program hears it, hot keys included; so a pointer
    left there (a window under it has closed) is first moved onto a window the X server shows:
    the main dialog's where there is one (a minimised dialog's stays mapped where it was),
    else any of the session's."""
    where = dict(item.split("=", 1) for item in
                 session.run("xdotool", "getmouselocation", "--shell").stdout.split())
    if int(where["WINDOW"]) == session.root_window:
        shown = []
        for pattern in (f"^{TITLE}$", "."):
            shown += session.run("xdotool", "search", "--onlyvisible", "--name", pattern,
                                 check=False).stdout.split()
        for window in shown:
            geometry = dict(item.split("=", 1) for item in session.run(
                "xdotool", "getwindowgeometry", "--shell", window, check=False).stdout.split()
                if "=" in item)
            x, y = int(geometry.get("X", -1)), int(geometry.get("Y", -1))
            w, h = int(geometry.get("WIDTH", 0)), int(geometry.get("HEIGHT", 0))
            if x >= 0 and y >= 0 and w > 0 and h > 0:
                session.run("xdotool", "mousemove", x + w // 2, y + h // 2)
                break
    session.run("xdotool", "key", *keys)


class Recording:
    """One run of Vidorra.exe started with -recx and the given switches."""

    def __init__(self, session, avi: Path, *switches, exe_dir=None):
        self.session = session
        self.avi = avi
        exe = Path(exe_dir or session.bin) / "Vidorra.exe"
        self.proc = session.start(exe, "-recx", *switches, "-a", session.windows_path(avi))

    def wait_started(self, timeout=30):
        """The file exists once the recording's set-up has opened it."""
        wait_until(lambda: self.avi.exists() or self.proc.poll() is not None, timeout,
                   what="the recording to start")
        assert self.proc.poll() is None, "Vidorra ended before recording"

    def wait_picture(self):
        """The picture has begun: with sound, that is once the input gives sound, some time
        after the file is made."""
        self.wait_started()
        wait_captions(self.session, "Stop", "Pause")

    def stop(self, timeout=60):
        """Presses the Start hot key, as a user in another program would; the process must end
        by itself."""
        key(self.session, "F2")
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=60):
        return self.proc.wait(timeout=timeout)

    def wait_failed(self, timeout=60):
        """A script's run that went wrong ends by itself with exit code 1, and no message box
        waits for someone to click it."""
        assert self.wait_exit(timeout) == 1
        assert not message_boxes(self.session)

    def record(self, seconds):
        self.wait_started()
        time.sleep(seconds)
        return self.stop()


@contextlib.contextmanager
def small_drive(session, folder: Path, keep_free=None):
    """A 1 MB tmpfs as the session's drive X:: a disk that is really full when it is full. With
    keep_free, a filler file leaves only that many bytes free. Skips where mounting needs root."""
    mount = folder / "small"
    mount.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount)]).returncode:
        pytest.skip("mounting a tmpfs needs root")
    drive = Path(session.env["WINEPREFIX"]) / "dosdevices" / "x:"
    drive.symlink_to(mount)
    try:
        if keep_free is not None:
            stat = os.statvfs(mount)
            (mount / "filler").write_bytes(b"\0" * (stat.f_bavail * stat.f_frsize - keep_free))
        yield mount
    finally:
        drive.unlink()
        subprocess.run(["umount", str(mount)])
