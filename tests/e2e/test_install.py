"""Installing from the unpacked release with "-install" and removing it again with the uninstall
batch file, as a user does: the destination dialog driven through its controls, the results read
from the file system, the registry (wine reg), the Start menu Wine's shell makes from the Program
Manager commands, and a DDE server of our own that logs the exact command bytes."""

import subprocess
import zipfile
from pathlib import Path

import pytest

from recorder import SETTINGS_KEY, STATE_KEY
from test_control import reg_values
from winesession import wait_until

CAPTION = "Install Vidorra"
ENTRY_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vidorra"
MAKER_KEY = r"HKCU\Software\Talvenor"
SHIPPED = ["Vidorra.exe", "VidRes.dll", "Vidorra.hlp", "Vidorra.cnt", "Vidorra.tlb",
           "readme.txt", "file_id.diz", "VidZmbv32.dll", "VidZmbv64.dll"]
DESTINATION_FIELD = 1088
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


@pytest.fixture
def release(session, tmp_path):
    """The release zip of the build under test, unpacked, with an options file beside it that
    sets a width of 640."""
    arch = session.build.name  # win32 or win64
    archive = session.build.parent / "release" / f"Vidorra-1.30.0-{arch}.zip"
    folder = tmp_path / "unpacked"
    with zipfile.ZipFile(archive) as z:
        assert sorted(z.namelist()) == sorted(SHIPPED)
        z.extractall(folder)
    (folder / "Vidorra.ini").write_bytes(b'"Width"  640\r\n')
    return folder


@pytest.fixture
def clean_install(session, fresh_settings):
    """No installation before or after the test."""
    def clean():
        session.wine("reg", "delete", ENTRY_KEY, "/f", check=False)
        session.wine("reg", "delete", MAKER_KEY, "/f", check=False)
        batch_file(session).unlink(missing_ok=True)
        remove_system_codec(session)
        for group in start_menu_groups(session):
            for item in group.iterdir():
                item.unlink()
            group.rmdir()
    clean()
    yield
    close_group_windows(session)
    clean()


CODEC_KEYS = [(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32", "vidc.zmbv"),
              (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc", "VidZmbv.dll")]


def remove_system_codec(session):
    """The codec an installation registers for every program, in both views of the registry, and
    its libraries."""
    for key, value in CODEC_KEYS:
        for view in ["/reg:64", "/reg:32"]:
            session.wine("reg", "delete", key, "/v", value, "/f", view, check=False)
    for folder in ["system32", "syswow64"]:
        (drive_c(session) / "windows" / folder / "VidZmbv.dll").unlink(missing_ok=True)


def close_group_windows(session):
    """Wine's shell answers "ShowGroup" by opening the group's folder in a window titled like the
    program's own; it must not stay for the tests that follow."""
    def folder_windows():
        try:
            windows = session.windows()
        except subprocess.CalledProcessError:
            return [None]  # a window went while the probe listed them: look again
        return [w for w in windows if w["hwnd"] == w["top"] and w["visible"] and any(
            c["top"] == w["hwnd"] and c["class"] == "SysListView32" for c in windows)]
    def closed():
        found = folder_windows()
        for w in found:
            if w:
                session.probe("close", w["hwnd"], check=False)
        return not found
    wait_until(closed, 30, what="the group's folder windows to close")


@pytest.fixture
def dde_log(session, tmp_path):
    """A Program Manager DDE server of our own, logging each conversation and command."""
    log = tmp_path / "dde.log"
    server = session.start(session.bin / "ddelog.exe", session.windows_path(log))
    wait_until(log.exists, 30, what="the DDE server")
    yield log
    server.kill()
    server.wait(timeout=30)


def drive_c(session):
    return Path(session.env["WINEPREFIX"]) / "drive_c"


def batch_file(session):
    return drive_c(session) / "windows" / "UnVidra.bat"


def start_menu_groups(session):
    return [p for p in drive_c(session).glob("**/Start Menu/Programs/Vidorra") if p.is_dir()]


def shortcuts(session):
    return sorted(p.name for g in start_menu_groups(session) for p in g.iterdir())


def install_boxes(session):
    """Visible windows captioned like the installer that are message boxes (not the dialog)."""
    windows = session.windows()
    boxes = []
    for w in windows:
        if w["hwnd"] == w["top"] and w["visible"] and w["text"] == CAPTION:
            controls = [c for c in windows if c["top"] == w["hwnd"] and c is not w]
            # (A message box's icon has the destination field's id too.)
            if not any(c["id"] == DESTINATION_FIELD and c["class"] == "Edit" for c in controls):
                boxes.append((w, "\n".join(c["text"] for c in controls)))
    return boxes


def wait_box(session, contains, timeout=30):
    def found():
        for box, text in install_boxes(session):
            if contains in text:
                return box, text
        return None
    return wait_until(found, timeout, what=f"a message saying '{contains}'")


class Installer:
    """One run of "Vidorra.exe -install" from a folder."""

    def __init__(self, session, folder):
        self.session = session
        self.proc = session.start(folder / "Vidorra.exe", "-install")
        self.dialog = session.wait_window(CAPTION)
        fields = [c for c in session.children(self.dialog)
                  if c["id"] == DESTINATION_FIELD and c["class"] == "Edit"]
        assert len(fields) == 1
        self.field = fields[0]

    def type(self, destination):
        self.session.probe("settext", self.field["hwnd"],
                          destination)
        self.session.command(self.dialog["hwnd"], IDOK)

    def answer(self, contains, button):
        box, text = wait_box(self.session, contains)
        self.session.command(box["hwnd"], button)
        wait_until(lambda: not any(b["hwnd"] == box["hwnd"] for b, _ in
                                   install_boxes(self.session)), 20, what="the box to close")
        return text

    def dialog_open(self):
        return self.session.find_top(CAPTION) is not None and self.proc.poll() is None

    def wait(self, timeout=90):
        return self.proc.wait(timeout=timeout)


def install(session, folder, destination, create=True, summary=None):
    """One installation into `destination`; its exit code. The summary it ends with is
    answered, and its text appended to `summary` when given."""
    run = Installer(session, folder)
    run.type(destination)
    if create:
        run.answer("does not exist. Do you want to create it?", IDYES)
    text = run.answer(" was installed in ", IDOK)
    if summary is not None:
        summary.append(text)
    return run.wait()


def uninstall(session, answer, batch=r"C:\windows\UnVidra.bat"):
    """Runs the batch file as the uninstall item does and answers the confirmation."""
    proc = session.start("cmd", "/c", batch, cwd=drive_c(session))

    def question():
        for w in session.windows():
            if w["hwnd"] == w["top"] and w["visible"] and w["text"] == "Vidorra" and \
                    w["class"] == "#32770":
                return w
        return None
    box = wait_until(question, 60, what="the confirmation")
    session.command(box["hwnd"], answer)
    return proc.wait(timeout=90)


def od_lines(path):
    """The file's lines as od shows its bytes: each must end in \\r \\n."""
    od = subprocess.run(["od", "-An", "-c", "-w100000", str(path)], capture_output=True,
                        text=True, check=True).stdout.split()
    return od


def expected_batch(d, b=r"C:\windows\UnVidra.bat"):
    lines = ["@echo off", rf"{d}\Vidorra -uninstall", "if errorlevel 1 goto finish"]
    for name in ["file_id.diz", "Vidorra.exe", "VidRes.dll", "Vidorra.hlp", "Vidorra.cnt",
                 "Vidorra.GID", "Vidorra.ini", "Vidorra.tlb", "readme.txt", "VidZmbv32.dll",
                 "VidZmbv64.dll"]:
        lines += [rf"attrib -r -s -h {d}\{name}", rf"del {d}\{name}"]
    lines += [rf"rmdir {d}", "cls",
              'echo Please ignore any "File not found" or "Batch file missing" error messages.',
              "echo They mean that Vidorra was completely uninstalled.",
              "echo You may close this window now.", "echo.", rf"del {b}", ":finish"]
    return "".join(line + "\r\n" for line in lines).encode()


def test_install_then_uninstall_takes_away_exactly_what_it_put_there(session, release,
                                                                     clean_install):
    (drive_c(session) / "apps").mkdir(exist_ok=True)
    target = drive_c(session) / "apps" / "Vidorra"
    assert install(session, release, r"C:\apps\Vidorra") == 0

    assert sorted(p.name for p in target.iterdir()) == sorted(SHIPPED + ["Vidorra.ini"])
    for name in SHIPPED:
        assert (target / name).read_bytes() == (release / name).read_bytes()
    batch = batch_file(session).read_bytes()
    assert batch == expected_batch(r"C:\apps\Vidorra")
    od = od_lines(batch_file(session))
    assert od.count("\\r") == 33 and od.count("\\n") == 33 and od[-2:] == ["\\r", "\\n"]
    assert reg_values(session, ENTRY_KEY) == {
        "DisplayName": ("REG_SZ", "Vidorra"),
        "UninstallString": ("REG_SZ", r"C:\windows\UnVidra.bat")}
    # Wine's shell makes the items whose command is a plain file (not README's "notepad FILE").
    assert shortcuts(session) == ["Uninstall Vidorra.lnk", "Vidorra Help.lnk", "Vidorra.lnk"]
    # The options file beside the installer was imported; the rest are defaults.
    state = reg_values(session, STATE_KEY)
    assert state["Width"] == ("REG_DWORD", "0x280") and state["Height"] == ("REG_DWORD", "0xf0")

    # Again into the same folder: still one item of each name, one entry.
    assert install(session, release, r"C:\apps\Vidorra", create=False) == 0
    assert shortcuts(session) == ["Uninstall Vidorra.lnk", "Vidorra Help.lnk", "Vidorra.lnk"]
    assert batch_file(session).read_bytes() == batch

    # Declining removes nothing, and the next run asks again.
    assert uninstall(session, IDNO) == 1
    assert uninstall(session, IDNO) == 1
    assert sorted(p.name for p in target.iterdir()) == sorted(SHIPPED + ["Vidorra.ini"])
    assert batch_file(session).exists() and reg_values(session, ENTRY_KEY)
    assert reg_values(session, STATE_KEY) and len(shortcuts(session)) == 3

    # A file of the user's keeps the folder; everything of ours goes.
    (target / "my notes.txt").write_bytes(b"mine")
    uninstall(session, IDYES)
    assert [p.name for p in target.iterdir()] == ["my notes.txt"]
    assert not batch_file(session).exists()
    assert reg_values(session, ENTRY_KEY) == {}
    assert session.wine("reg", "query", MAKER_KEY, check=False).returncode != 0
    assert start_menu_groups(session) == []


def test_a_folder_name_full_of_command_characters(session, release, clean_install):
    parent = drive_c(session) / "odd"
    parent.mkdir(exist_ok=True)
    name = "R&D 100% (x),y"
    # Where a line split at "&", a space, a comma or a parenthesis would strike.
    sentinels = [parent / s for s in ("R", "R&D", "100%", "x", "y", "(x)")]
    for s in sentinels:
        s.write_bytes(b"sentinel")
    destination = "C:\\odd\\" + name
    assert install(session, release, destination) == 0
    target = parent / name
    assert sorted(p.name for p in target.iterdir()) == sorted(SHIPPED + ["Vidorra.ini"])
    batch = batch_file(session).read_bytes()
    quoted = '"C:\\odd\\R&D 100%% (x),y'
    assert f'{quoted}\\Vidorra" -uninstall\r\n'.encode() in batch
    assert f'del {quoted}\\Vidorra.exe"\r\n'.encode() in batch
    assert f'rmdir {quoted}"\r\n'.encode() in batch
    assert len(shortcuts(session)) == 3

    assert uninstall(session, IDYES) == 0
    assert not target.exists()
    assert not batch_file(session).exists()
    assert start_menu_groups(session) == []
    for s in sentinels:
        assert s.read_bytes() == b"sentinel", s.name


def test_the_exact_program_manager_commands(session, release, clean_install, dde_log):
    log = dde_log
    (drive_c(session) / "apps").mkdir(exist_ok=True)
    assert install(session, release, r"C:\apps\Exact") == 0
    commands = [
        "[CreateGroup(Vidorra)]", "[ShowGroup(Vidorra,1)]",
        "[ReplaceItem(Vidorra)]", r"[AddItem(C:\apps\Exact\Vidorra.exe,Vidorra)]",
        "[ReplaceItem(Vidorra Help)]", r"[AddItem(C:\apps\Exact\Vidorra.hlp,Vidorra Help)]",
        "[ReplaceItem(Vidorra README)]",
        r"[AddItem(notepad C:\apps\Exact\readme.txt,Vidorra README)]",
        "[ReplaceItem(Uninstall Vidorra)]",
        r"[AddItem(C:\windows\UnVidra.bat,Uninstall Vidorra,,,,,,,1)]",
        "[Reload(Vidorra)]"]
    # One conversation per command.
    expected = b"".join(b"connect\nexecute " + c.encode() + b"\n" for c in commands)
    assert log.read_bytes() == expected

    log.write_bytes(b"")
    assert uninstall(session, IDYES) == 0
    commands = ["[ShowGroup(Vidorra,1)]", "[DeleteItem(Vidorra)]",
                "[DeleteItem(Vidorra Help)]", "[DeleteItem(Vidorra README)]",
                "[DeleteItem(Uninstall Vidorra)]", "[DeleteGroup(Vidorra)]"]
    assert log.read_bytes() == b"".join(b"connect\nexecute " + c.encode() + b"\n"
                                        for c in commands)


def nothing_installed(session):
    assert session.wine("reg", "query", SETTINGS_KEY, check=False).returncode != 0
    assert reg_values(session, ENTRY_KEY) == {}
    assert not batch_file(session).exists()
    assert start_menu_groups(session) == []


def test_refused_destinations_and_cancel_change_nothing(session, release, clean_install,
                                                        tmp_path):
    mount = tmp_path / "ro"
    mount.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount)]).returncode:
        pytest.skip("mounting a tmpfs needs root")
    drive = Path(session.env["WINEPREFIX"]) / "dosdevices" / "r:"
    try:
        (mount / "locked").mkdir()
        subprocess.run(["mount", "-o", "remount,ro", str(mount)], check=True)
        drive.symlink_to(mount)
        run = Installer(session, release)
        for typed, message in [("C:\\", "is the root of a drive or a folder of Windows"),
                               ("C:\\windows\\", "is the root of a drive or a folder of Windows"),
                               ("R:\\locked", 'Directory "R:\\locked" is read-only.')]:
            run.type(typed)
            assert message in run.answer(message, IDOK)
            assert run.dialog_open()
        assert [p.name for p in mount.iterdir()] == ["locked"]
        assert list((mount / "locked").iterdir()) == []
        # A new folder declined: the dialog stays, nothing is made.
        run.type(r"C:\declined")
        run.answer("does not exist", IDNO)
        assert run.dialog_open() and not (drive_c(session) / "declined").exists()
        session.command(run.dialog["hwnd"], IDCANCEL)
        assert run.wait() == 1
    finally:
        if drive.is_symlink():
            drive.unlink()
        subprocess.run(["umount", str(mount)])
    nothing_installed(session)


def test_a_missing_required_file_stops_the_installation(session, release, clean_install):
    (release / "Vidorra.hlp").unlink()
    (drive_c(session) / "apps").mkdir(exist_ok=True)
    run = Installer(session, release)
    run.type(r"C:\apps\NoHelp")
    run.answer("does not exist", IDYES)
    run.answer("Could not copy all Vidorra files to the destination path, installation failed.",
               IDOK)
    assert run.wait() == 1
    nothing_installed(session)

    # Without its resource library the program cannot even ask.
    (release / "VidRes.dll").unlink()
    proc = session.start(release / "Vidorra.exe", "-install")

    def box():
        for w in session.windows():
            if w["hwnd"] == w["top"] and w["visible"] and w["class"] == "#32770" and any(
                    c["text"] == "VidRes.dll not found, exiting."
                    for c in session.children(w)):
                return w
        return None
    session.command(wait_until(box, 30, what="the missing library's message")["hwnd"], IDOK)
    assert proc.wait(timeout=30) == 1
    nothing_installed(session)


def test_without_a_writable_windows_folder_the_batch_file_goes_to_the_users_data(
        session, release, clean_install):
    # A folder in the batch file's place: it cannot be written there, as without administrator
    # rights.
    blocker = batch_file(session)
    blocker.mkdir()
    try:
        (drive_c(session) / "apps").mkdir(exist_ok=True)
        assert install(session, release, r"C:\apps\Mine") == 0
        found = list(drive_c(session).glob("users/*/AppData/Local/Vidorra/UnVidra.bat"))
        assert len(found) == 1
        own = session.windows_path(found[0])
        assert found[0].read_bytes() == expected_batch(r"C:\apps\Mine", own)
        assert reg_values(session, ENTRY_KEY)["UninstallString"] == ("REG_SZ", own)
        assert "Uninstall Vidorra.lnk" in shortcuts(session)

        assert uninstall(session, IDYES, own) == 0
        assert not (drive_c(session) / "apps" / "Mine").exists()
        assert not found[0].exists() and reg_values(session, ENTRY_KEY) == {}
    finally:
        blocker.rmdir()


def test_relative_names_and_the_programs_own_folder(session, release, clean_install, dde_log):
    log = dde_log
    # The dialog shows C:\ at first: a relative name is taken from there.
    (drive_c(session) / "apps").mkdir(exist_ok=True)
    assert install(session, release, r"apps\Relative") == 0
    assert (drive_c(session) / "apps" / "Relative" / "Vidorra.exe").exists()
    assert b"del C:\\apps\\Relative\\Vidorra.exe\r\n" in batch_file(session).read_bytes()

    # The folder the installer runs from, in other letters and with a trailing backslash:
    # nothing is copied, and its readme still gets its item.
    log.write_bytes(b"")
    here = session.windows_path(release)
    before = sorted(p.name for p in release.iterdir())
    assert install(session, release, here.upper() + "\\", create=False) == 0
    assert sorted(p.name for p in release.iterdir()) == before
    # (Letter case as the platform's long name gives it.)
    executed = [line[len(b"execute "):].decode().lower()
                for line in log.read_bytes().splitlines() if line.startswith(b"execute ")]
    assert f"[additem(notepad {here}\\readme.txt,vidorra readme)]".lower() in executed
    assert f"[additem({here}\\vidorra.exe,vidorra)]".lower() in executed
    assert f"rmdir {here}\r\n".lower().encode() in batch_file(session).read_bytes().lower()
