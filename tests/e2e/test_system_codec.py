"""Our codec installed for the whole machine, as a Windows user's own players find it: "-install"
and "-installcodec" put its library into the system folders and "vidc.zmbv" into both views of
the registry; players of our own that know nothing of Vidorra, one on the platform's AVI file
services (tools/vfwplay) and one a DirectShow graph through the platform's AVI decompressor
(tools/dshowplay), decode every frame of a take, seeking back too, pixel for pixel as ffmpeg
does; "-uninstall" takes away only what is ours."""

import struct
import subprocess
import time
from array import array

import pytest

import scene
from recorder import Recording, message_boxes
from test_install import (IDOK, IDYES, clean_install, drive_c, install, release,  # noqa: F401
                          remove_system_codec, uninstall)
from test_screen_codec import DESCRIPTION, SWITCHES, record_from_list
from test_scene import running_scene, wait_painted
from winesession import WineSession, wait_until

@pytest.fixture(scope="module")
def session():
    """A Wine session of this module's own: installing system-wide, beside another program's
    codec and without the rights, leaves the prefix in a state that later tests of a shared
    session have been seen to stumble on (their windows never showed)."""
    s = WineSession()
    try:
        yield s
    finally:
        s.close()


DRIVERS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
DESCRIPTIONS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
VIEWS = ["/reg:64", "/reg:32"]


def system_folders(session):
    """The 64-bit system folder, and the 32-bit one where the prefix has it."""
    windows = drive_c(session) / "windows"
    return [f for f in (windows / "system32", windows / "syswow64") if f.is_dir()]


def codec_value(session, view, key=DRIVERS, name="vidc.zmbv"):
    out = session.wine("reg", "query", key, "/v", name, view, check=False).stdout
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0] == name:
            return parts[2].strip()
    return None


def set_codec_value(session, value):
    for view in VIEWS:
        session.wine("reg", "add", DRIVERS, "/v", "vidc.zmbv", "/d", value, "/f", view)


def install_codec(session, expect):
    """Vidorra.exe -installcodec from the build; its message must hold `expect`."""
    proc = session.start(session.bin / "Vidorra.exe", "-installcodec")
    box, text = wait_until(lambda: next(((b, "\n".join(t)) for b, t in message_boxes(session)
                                         if expect in "\n".join(t)), None),
                           30, what=f"a message saying '{expect}'")
    session.command(box["hwnd"], IDOK)
    return proc.wait(timeout=30), text


# ---- frames as the players and ffmpeg give them ----------------------------------------------

def expand(bits5):
    return bits5 << 3 | bits5 >> 2


def table16(green_bits):
    """Each 16-bit pixel as blue, green, red bytes, the top bits repeated into the low ones."""
    table = []
    for v in range(65536):
        if green_bits == 6:
            r, g, b = v >> 11 & 31, v >> 5 & 63, v & 31
            g8 = g << 2 | g >> 4
        else:
            r, g, b = v >> 10 & 31, v >> 5 & 31, v & 31
            g8 = expand(g)
        table.append(bytes((expand(b), g8, expand(r))))
    return table


TABLES = {}


def to_bgr(data, layout, width, height, stride, bottom_up, palette=None):
    """Top row first, three bytes a pixel, from rows of `layout`: "bgr24", "bgr32", "555", "565"
    or "pal8"."""
    rows = []
    for y in range(height):
        start = (height - 1 - y if bottom_up else y) * stride
        row = data[start:start + stride]
        if layout == "bgr24":
            rows.append(row[:width * 3])
        elif layout == "bgr32":
            rows.append(b"".join(row[i:i + 3] for i in range(0, width * 4, 4)))
        elif layout in ("555", "565"):
            table = TABLES.setdefault(layout, table16(6 if layout == "565" else 5))
            rows.append(b"".join(table[v] for v in array("H", row[:width * 2])))
        else:
            rows.append(b"".join(palette[i] for i in row[:width]))
    return b"".join(rows)


def player_frames(path):
    """The frames a stand-in player wrote: [BITMAPINFOHEADER][colour table or masks][pixels]."""
    data = path.read_bytes()
    frames, at = [], 0
    while at < len(data):
        (size, width, height, _, bits, compression, _, _, _, used, _) = struct.unpack_from(
            "<IiiHHIIiiII", data, at)
        at += size
        palette = None
        if bits <= 8:
            count = used or 256
            palette = [data[at + 4 * i:at + 4 * i + 3] for i in range(count)]
            at += 4 * count
            layout = "pal8"
        elif compression == 3:  # BI_BITFIELDS
            green = struct.unpack_from("<I", data, at + 4)[0]
            at += 12
            layout = {0x07E0: "565", 0x03E0: "555"}[green]
        else:
            layout = {16: "555", 24: "bgr24", 32: "bgr32"}[bits]
        stride = (width * bits + 31) // 32 * 4
        rows = abs(height)
        frames.append((layout, to_bgr(data[at:at + stride * rows], layout, width, rows, stride,
                                      height > 0, palette)))
        at += stride * rows
    return frames


def reference_frames(movie):
    """ffmpeg's decoding of every frame, in the stream's own pixel format, as blue, green, red."""
    stream = scene.video_stream(scene.probe(movie))
    width, height, fmt = int(stream["width"]), int(stream["height"]), stream["pix_fmt"]
    out_fmt, layout, size = {"bgr0": ("bgr0", "bgr32", 4), "rgb555le": ("rgb555le", "555", 2),
                             "rgb565le": ("rgb565le", "565", 2),
                             "pal8": ("bgr24", "bgr24", 3)}[fmt]
    data = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(movie), "-map", "0:v:0",
                           "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", out_fmt, "-"],
                          capture_output=True, check=True, timeout=300).stdout
    frame = width * height * size
    return fmt, [to_bgr(data[i:i + frame], layout, width, height, width * size, False)
                 for i in range(0, len(data) - frame + 1, frame)]


def check_players(session, movie, tmp_path, natural):
    """The VfW stand-in, in the codec's own choice of layout (`natural`) and at 24 and 32 bits,
    gives every frame as ffmpeg does, and the same frames again when it seeks back; so does the
    DirectShow stand-in at 32 and 24 bits."""
    fmt, expected = reference_frames(movie)
    assert len(expected) >= 5, fmt
    n = len(expected)
    for bits in [None, 24, 32]:
        out = tmp_path / f"{movie.stem}-{bits}.raw"
        args = [session.windows_path(movie), session.windows_path(out)] + ([bits] if bits else [])
        proc = session.wine(session.bin / "vfwplay.exe", *args, check=False, timeout=120)
        assert proc.returncode == 0, (fmt, bits, proc.stderr)
        frames = player_frames(out)
        assert len(frames) == n + 4, (fmt, bits)
        layouts = {layout for layout, _ in frames}
        assert layouts == {natural if bits is None else f"bgr{bits}"}, (fmt, bits)
        for i, (_, pixels) in enumerate(frames[:n]):
            assert pixels == expected[i], f"{fmt} at {bits or natural} bits: frame {i}"
        # Seeking back: the last, the middle, the second and the first frame.
        assert [p for _, p in frames[n:]] == [expected[n - 1], expected[n // 2], expected[1],
                                             expected[0]], (fmt, bits)
    # DirectShow, the road Windows Media Player takes: the platform's AVI decompressor around
    # the system's codec.
    for bits in [32, 24]:
        out = tmp_path / f"{movie.stem}-dshow-{bits}.raw"
        proc = session.wine(session.bin / "dshowplay.exe", session.windows_path(movie),
                            session.windows_path(out), bits, check=False, timeout=120)
        assert proc.returncode == 0, (fmt, bits, proc.stderr)
        frames = player_frames(out)
        assert [layout for layout, _ in frames] == [f"bgr{bits}"] * n, (fmt, bits)
        for i, (_, pixels) in enumerate(frames):
            assert pixels == expected[i], f"{fmt} through DirectShow at {bits} bits: frame {i}"


# ---- the tests -------------------------------------------------------------------------------

def test_install_puts_the_codec_where_players_look_and_uninstall_takes_only_ours(
        session, release, clean_install, tmp_path):
    (drive_c(session) / "apps").mkdir(exist_ok=True)
    summary = []
    assert install(session, release, r"C:\apps\Codec", summary=summary) == 0
    assert "Vidorra was installed in C:\\apps\\Codec." in summary[0]
    assert "The video codec was installed system-wide" in summary[0]
    folders = system_folders(session)
    libraries = {"system32": "VidZmbv64.dll", "syswow64": "VidZmbv32.dll"}
    for folder in folders:
        assert (folder / "VidZmbv.dll").read_bytes() == \
            (release / libraries[folder.name]).read_bytes(), folder.name
    for view in VIEWS[:len(folders)]:
        assert codec_value(session, view) == "VidZmbv.dll", view
        assert codec_value(session, view, DESCRIPTIONS, "VidZmbv.dll") == DESCRIPTION, view

    # A take with the defaults at 32 bits, and other programs' takes in each of the formats:
    # all play in a player that knows nothing of Vidorra.
    take = tmp_path / "take.avi"
    with running_scene(session):
        wait_painted(session, tmp_path)
        assert Recording(session, take, *SWITCHES).record(2.0) == 0
    check_players(session, take, tmp_path, "bgr32")
    for fmt in ["rgb565le", "rgb555le", "pal8"]:
        other = tmp_path / f"ffmpeg-{fmt}.avi"
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc=size=96x64:rate=10", "-frames:v", "24", "-g", "10",
                        "-pix_fmt", fmt, "-c:v", "zmbv", str(other)], check=True, timeout=60)
        # Their records do not say which format: 32-bit RGB holds them all.
        check_players(session, other, tmp_path, "bgr32")

    assert uninstall(session, IDYES) == 0
    for folder in folders:
        assert not (folder / "VidZmbv.dll").exists(), folder.name
    for view in VIEWS:
        assert codec_value(session, view) is None, view
        assert codec_value(session, view, DESCRIPTIONS, "VidZmbv.dll") is None, view


def test_another_programs_codec_is_left_and_without_the_rights_the_summary_says_how(
        session, release, clean_install):
    (drive_c(session) / "apps").mkdir(exist_ok=True)
    set_codec_value(session, "zmbv.dll")
    summary = []
    assert install(session, release, r"C:\apps\Theirs", summary=summary) == 0
    assert "Another program's ZMBV video codec" in summary[0]
    assert all(not (f / "VidZmbv.dll").exists() for f in system_folders(session))
    assert uninstall(session, IDYES) == 0
    assert [codec_value(session, view) for view in VIEWS] == ["zmbv.dll", "zmbv.dll"]
    remove_system_codec(session)

    # The system folder refuses the library, as it does a user without administrator rights:
    # the program is installed all the same, and the summary gives the one command to run.
    blocker = system_folders(session)[0] / "VidZmbv.dll"
    blocker.mkdir()
    try:
        summary = []
        assert install(session, release, r"C:\apps\NoRights", summary=summary) == 0
        assert (drive_c(session) / "apps" / "NoRights" / "Vidorra.exe").exists()
        assert "not installed system-wide: that needs administrator rights" in summary[0]
        assert summary[0].rstrip().endswith(r"C:\apps\NoRights\Vidorra.exe -installcodec")
        assert codec_value(session, VIEWS[0]) is None
        code, text = install_codec(session, "not installed system-wide")
        assert code == 1
    finally:
        blocker.rmdir()
    assert uninstall(session, IDYES) == 0


def test_takes_at_16_and_8_bits_play_in_their_own_depth(deep_session, tmp_path):
    session = deep_session
    remove_system_codec(session)
    try:
        code, text = install_codec(session, "installed system-wide")
        assert code == 0
        take = tmp_path / "take.avi"
        with running_scene(session):
            time.sleep(1.5)  # painted
            record_from_list(session, take, lambda texts: texts.index(DESCRIPTION))
        # Our 16-bit takes are 5-5-5, told as such in their record.
        check_players(session, take, tmp_path, {16: "555", 8: "pal8"}[session.depth])
    finally:
        remove_system_codec(session)
