"""Settings carried in the options text file beside the program: "-dumpopts" writes the
registry's values into it, "-readopts" copies them back, both without a window and with an exit
code a script can trust."""

import errno
import os
import shutil
import subprocess

import pytest

from recorder import KEYS_KEY, SETTINGS_KEY, STATE_KEY, small_drive
from test_control import reg_values

STATE_ORDER = ["StartX", "StartY", "Width", "Height", "WinX", "WinY", "WndHide", "IncFilename",
               "RecSound", "FlashRect", "SoundSampRate", "SoundSampSize", "FPS", "FPSPlay",
               "Compress", "KeyFrames", "AVIFileName", "HighlightClicks", "ShowKeys"]
KEYS_ORDER = ["Start Key", "Start Mod", "Start Desc", "Pause Key", "Pause Mod", "Pause Desc",
              "SingleShot Key", "SingleShot Mod", "SingleShot Desc", "LockPan Key",
              "LockPan Mod", "LockPan Desc", "Pan Modifiers", "Pan Locked"]


@pytest.fixture
def program(session, tmp_path, fresh_settings):
    """A copy of the program in a folder of its own, so its options file is the test's."""
    folder = tmp_path / "program"
    folder.mkdir()
    for name in ("Vidorra.exe", "VidRes.dll"):
        shutil.copy(session.bin / name, folder)
    return folder


def run(session, folder, switch, timeout=60):
    """Runs a maintenance switch; it must end by itself, so it showed no window that waits."""
    return session.start(folder / "Vidorra.exe", switch).wait(timeout=timeout)


def test_dump_with_no_file_writes_every_value_as_one_crlf_line(session, program):
    session.wine("reg", "add", STATE_KEY, "/v", "WinX", "/t", "REG_DWORD", "/d", "0xfffffc17",
                 "/f")
    session.wine("reg", "add", STATE_KEY, "/v", "AVIFileName", "/t", "REG_SZ", "/d",
                 r"C:\clips\a b.avi", "/f")
    assert run(session, program, "-dumpopts") == 0
    data = (program / "Vidorra.ini").read_bytes()
    lines = data.split(b"\r\n")
    assert lines.pop() == b""  # the last line ends in CR LF too
    assert [line.split(b'"')[1].decode() for line in lines] == STATE_ORDER + KEYS_ORDER
    assert lines[0] == b'"StartX"  0' and lines[-1] == b'"Pan Locked"  0'
    assert b'"WinX"  -1001' in lines and b'"FPS"  10000' in lines
    assert b'"AVIFileName"  "C:\\clips\\a b.avi"' in lines
    assert b'"LockPan Desc"  "Shift+F3"' in lines
    assert all(b"\r" not in line and b"\n" not in line for line in lines)
    # The bytes on disk, as another tool shows them: CR LF ends, no translation.
    od = subprocess.run(["od", "-An", "-c", "-w1024", str(program / "Vidorra.ini")],
                        capture_output=True, text=True, check=True).stdout
    lines_all = len(STATE_ORDER + KEYS_ORDER)
    assert od.split().count("\\r") == lines_all and od.split().count("\\n") == lines_all
    assert od.split()[:12] == ['"', "S", "t", "a", "r", "t", "X", '"', "0", "\\r", "\\n", '"']


def test_settings_go_to_the_file_and_back_with_hand_edits(session, program):
    session.wine("reg", "add", STATE_KEY, "/v", "Width", "/t", "REG_DWORD", "/d", "640", "/f")
    session.wine("reg", "add", KEYS_KEY, "/v", "Start Desc", "/t", "REG_SZ", "/d", "Ctrl+F9",
                 "/f")
    ini = program / "Vidorra.ini"
    ini.write_bytes(b"; carried from the old machine\r\n\"Colleague's\"  \"keep me\"\r\n")
    assert run(session, program, "-dumpopts") == 0
    text = ini.read_bytes()
    # The comment goes, the foreign line stays first, the values follow it.
    assert text.startswith(b"\"Colleague's\"  \"keep me\"\r\n\"StartX\"  0\r\n")
    assert b'"Width"  640\r\n' in text and b'"Start Desc"  "Ctrl+F9"\r\n' in text

    # Two values edited by hand (a lower-case name, a tab) and one the settings refuse.
    text = text.replace(b'"FPS"  10000', b'"fps"\t15000')
    text = text.replace(b'"AVIFileName"  "clip.avi"', b'"AVIFileName"  "D:\\movies\\take.avi"')
    text = text.replace(b'"Height"  240', b'"Height"  0')
    ini.write_bytes(text)
    session.wine("reg", "delete", SETTINGS_KEY, "/f")
    assert run(session, program, "-readopts") == 0
    state = reg_values(session, STATE_KEY)
    assert state["FPS"] == ("REG_DWORD", "0x3a98")  # 15000
    assert state["AVIFileName"] == ("REG_SZ", r"D:\movies\take.avi")
    assert state["Width"] == ("REG_DWORD", "0x280")  # 640, as dumped
    assert state["Height"] == ("REG_DWORD", "0xf0")  # the default, not 0
    assert len(state) == len(STATE_ORDER)
    keys = reg_values(session, KEYS_KEY)
    assert keys["Start Desc"] == ("REG_SZ", "Ctrl+F9") and len(keys) == 14
    assert ini.read_bytes() == text  # reading leaves the file alone


def test_read_without_a_file_fails_and_changes_nothing(session, program):
    session.wine("reg", "add", STATE_KEY, "/v", "Width", "/t", "REG_DWORD", "/d", "640", "/f")
    before = reg_values(session, STATE_KEY)
    assert run(session, program, "-readopts") == 1
    assert reg_values(session, STATE_KEY) == before
    assert reg_values(session, KEYS_KEY) == {}
    assert not (program / "Vidorra.ini").exists()


def test_a_dump_onto_a_full_drive_keeps_the_old_file(session, tmp_path, fresh_settings):
    with small_drive(session, tmp_path) as drive:
        # The program itself stays off the 1 MB drive: links to it make X:\ its folder.
        for name in ("Vidorra.exe", "VidRes.dll"):
            (drive / name).symlink_to(session.bin / name)
        old = b'"Width"  800\r\n"Colleague\'s"  "keep me"\r\n'
        (drive / "Vidorra.ini").write_bytes(old)
        filler = os.open(drive / "filler", os.O_WRONLY | os.O_CREAT)
        try:
            while True:
                os.write(filler, b"\0" * 4096)
        except OSError as e:
            assert e.errno == errno.ENOSPC
        finally:
            os.close(filler)
        assert run(session, drive, "-dumpopts") == 1
        assert (drive / "Vidorra.ini").read_bytes() == old
        assert sorted(p.name for p in drive.iterdir()) == \
            ["VidRes.dll", "Vidorra.exe", "Vidorra.ini", "filler"]
        # With room again the same dump succeeds, keeping the foreign line in its place.
        (drive / "filler").unlink()
        assert run(session, drive, "-dumpopts") == 0
        assert (drive / "Vidorra.ini").read_bytes().startswith(
            b'"Width"  320\r\n"Colleague\'s"  "keep me"\r\n"StartX"  0\r\n')
