"""Scripts drive the recorder through "Vidorra.Application" with Wine's own script host: the
files are read with ffprobe, the windows with the probe, the registry with reg."""

import re
import time

import pytest

import scene
from recorder import STATE_KEY, key
from test_hot_keys import PAUSE_BUTTON, rebind
from test_pages import MainWindow
from winesession import wait_until

TITLE = "Vidorra"
CLASSES = r"HKCU\Software\Classes"


@pytest.fixture(scope="module")
def registered(session):
    """A normal start registers the class for the scripts; it is closed again at once."""
    session.wine("reg", "delete", STATE_KEY, "/f", check=False)
    proc = session.start(session.bin / "Vidorra.exe")
    dlg = session.wait_window(TITLE)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0
    yield
    session.wine("reg", "delete", STATE_KEY, "/f", check=False)


def run_script(session, path, text, timeout=120):
    """Runs a VBScript or JScript file and returns what it echoed as {key: [values]}."""
    path.write_text(text.replace("\n", "\r\n"))
    out = session.wine("cscript", "//nologo", session.windows_path(path), timeout=timeout).stdout
    echoed = {}
    for line in out.splitlines():
        words = line.split()
        if words:
            # Wine's Echo writes booleans as numbers.
            echoed[words[0]] = [{"True": "-1", "False": "0"}.get(w, w) for w in words[1:]]
    return echoed


def vidorra_windows(session):
    return [w for w in session.windows() if w["hwnd"] == w["top"] and w["text"] == TITLE]


def reg_value(session, key, name=None):
    args = ["/v", name] if name else ["/ve"]
    out = session.wine("reg", "query", key, *args).stdout
    match = re.search(r"REG_SZ\s+(.*)$", out, re.M)
    return match.group(1).strip() if match else None


# Wine's script host has no WScript.Sleep: the scripts wait by asking the recorder, which also
# lets the calls between the processes go on.
WAIT_STATE = """
Function WaitState(v, s)
    Dim t
    t = Timer
    Do While v.GetRecordState() <> s And Abs(Timer - t) < 10
    Loop
    WaitState = v.GetRecordState()
End Function
Sub Rest(v, ms)
    Dim t
    t = Timer
    Do While Abs(Timer - t) * 1000 < ms
        v.GetRecordState
    Loop
End Sub
"""


def test_registration_points_at_the_running_program_quoted(session, registered):
    clsid = reg_value(session, CLASSES + r"\Vidorra.Application\CLSID")
    assert re.fullmatch(r"\{[0-9A-F-]{36}\}", clsid)
    server = reg_value(session, CLASSES + rf"\CLSID\{clsid}\LocalServer32")
    exe = session.windows_path(session.bin / "Vidorra.exe")
    assert server.lower() == f'"{exe}"'.lower()
    assert reg_value(session, CLASSES + rf"\CLSID\{clsid}\ProgID") == "Vidorra.Application"
    libid = reg_value(session, CLASSES + rf"\CLSID\{clsid}\TypeLib")
    # The type library is registered for the program's own architecture.
    platform = "win32" if session.env["VIDORRA_WINE_ARCH"] == "32" else "win64"
    tlb = reg_value(session, CLASSES + rf"\TypeLib\{libid}\1.0\0\{platform}")
    assert tlb.lower() == session.windows_path(session.bin / "Vidorra.tlb").lower()


# Values the rules refuse: each raises an error in the script and leaves the old value.
REFUSED = ['v.FrameRate = 0', 'v.FrameRate = -1', 'v.PlaybackRate = 0', 'v.Width = 0',
           'v.Height = -5', 'v.FileName = ""', 'v.FileName = String(260, "a")',
           'v.FileName = "a" & Chr(9) & "b.avi"', 'v.FileName = ChrW(&H4E2D) & ".avi"',
           'v.Width = 40000']
REFUSED_HELPER = """
Function Refused(code)
    On Error Resume Next
    Execute code
    Refused = (Err.Number <> 0)
    Err.Clear
End Function
"""


def test_vbscript_records_a_region_and_sees_the_tables_types_and_rules(
        session, registered, tmp_path):
    avi = tmp_path / "script.avi"
    refusals = ", ".join('Refused("{}")'.format(b.replace('"', '""')) for b in REFUSED)
    echoed = run_script(session, tmp_path / "record.vbs", WAIT_STATE + REFUSED_HELPER + f"""
Set v = CreateObject("VIDORRA.application")
WScript.Echo "types", VarType(v.StartX), VarType(v.StartY), VarType(v.Width), VarType(v.Height), _
    VarType(v.FrameRate), VarType(v.FileName), VarType(v.PlaybackRate), _
    VarType(v.IncrementFileName), VarType(v.RecordSound), VarType(v.KeyFrames), _
    VarType(v.CompQuality), VarType(v.SoundSampSize), VarType(v.SoundSampRate), VarType(v.FlashRect), _
    VarType(v.StopRec), VarType(v.GetRecordState), VarType(v.CaptureSingleFrame)
v.StartX = 8
v.StartY = 16
v.Width = 160
v.Height = 120
v.FrameRate = 15
WScript.Echo "rates", v.FrameRate, v.PlaybackRate
v.PlaybackRate = 5
v.FrameRate = 10
v.PlaybackRate = 10
v.RecordSound = False
v.IncrementFileName = False
v.FileName = "{session.windows_path(avi)}"
v.SoundSampSize = 12
v.SoundSampRate = 22051
WScript.Echo "sound", v.SoundSampSize, v.SoundSampRate
WScript.Echo "refused", {refusals}
WScript.Echo "kept", v.FrameRate, v.PlaybackRate, v.Width, v.Height, (v.FileName = "{session.windows_path(avi)}")
WScript.Echo "start", v.StartRec(), v.StartRec()
WScript.Echo "state", WaitState(v, 1)
WScript.Echo "startagain", v.StartRec()
v.Width = 320
v.FrameRate = 30
v.FileName = "other.avi"
WScript.Echo "whilerecording", v.Width, v.FrameRate, (v.FileName = "{session.windows_path(avi)}")
Rest v, 2000
WScript.Echo "stop", v.StopRec(), v.GetRecordState(), v.StopRec()
""")
    # vbInteger 2, vbDouble 5, vbString 8, vbBoolean 11, vbLong 3; then three methods' results.
    assert echoed["types"] == ["2", "2", "2", "2", "5", "8", "5", "11", "11", "2", "2", "2", "3",
                               "11", "2", "2", "11"]
    assert echoed["rates"] == ["15", "15"]
    assert echoed["sound"] == ["8", "44100"]
    assert echoed["refused"] == ["-1"] * len(REFUSED)
    assert echoed["kept"] == ["10", "10", "160", "120", "-1"]
    assert echoed["start"] == ["1", "0"]  # a start already asked for is not asked twice
    assert echoed["state"] == ["1"]
    assert echoed["startagain"] == ["0"]
    assert echoed["whilerecording"] == ["160", "10", "-1"]
    assert echoed["stop"] == ["1", "0", "0"]
    stream = scene.video_stream(scene.probe(avi))
    assert (stream["width"], stream["height"]) == (160, 120)
    assert scene.frame_rate(stream) == 10
    assert 10 <= int(stream["nb_frames"]) <= 40


def test_pause_from_idle_single_frames_and_resume(session, registered, tmp_path):
    frames = tmp_path / "frames.avi"
    resumed = tmp_path / "resumed.avi"
    echoed = run_script(session, tmp_path / "pause.vbs", WAIT_STATE + f"""
Set v = CreateObject("Vidorra.Application")
v.Width = 96
v.Height = 64
v.RecordSound = False
v.IncrementFileName = False
v.FileName = "{session.windows_path(frames)}"
WScript.Echo "idleframe", v.CaptureSingleFrame()
WScript.Echo "pause", v.PauseRec()
WScript.Echo "state", WaitState(v, 2)
WScript.Echo "frames", v.CaptureSingleFrame(), v.CaptureSingleFrame(), v.CaptureSingleFrame()
WScript.Echo "stop", v.StopRec()
v.FileName = "{session.windows_path(resumed)}"
WScript.Echo "pause2", v.PauseRec()
WScript.Echo "state2", WaitState(v, 2)
WScript.Echo "resume", v.PauseRec()
WScript.Echo "recordingframe", v.CaptureSingleFrame()
Rest v, 1000
WScript.Echo "stop2", v.StopRec()
""")
    assert echoed["idleframe"] == ["0"]
    assert echoed["pause"] == ["0"]
    assert echoed["state"] == ["2"]
    assert echoed["frames"] == ["-1", "-1", "-1"]
    assert echoed["stop"] == ["1"]
    assert int(scene.video_stream(scene.probe(frames))["nb_frames"]) == 3
    assert echoed["pause2"] == ["0"] and echoed["state2"] == ["2"]
    assert echoed["resume"] == ["1"]
    assert echoed["recordingframe"] == ["0"]
    assert echoed["stop2"] == ["1"]
    assert int(scene.video_stream(scene.probe(resumed))["nb_frames"]) >= 3


def test_jscript_starts_and_stops_the_same_object(session, registered, tmp_path):
    avi = tmp_path / "jscript.avi"
    name = session.windows_path(avi).replace("\\", "\\\\")
    echoed = run_script(session, tmp_path / "record.js", f"""
var v = new ActiveXObject("Vidorra.Application");
v.Width = 128; v.Height = 96; v.RecordSound = false; v.IncrementFileName = false;
v.FileName = "{name}";
WScript.Echo("start " + v.StartRec());
// Wine's script host has no WScript.Sleep.
for (var t = new Date().getTime(); v.GetRecordState() != 1 && new Date().getTime() - t < 10000;);
WScript.Echo("state " + v.GetRecordState());
for (var t = new Date().getTime(); new Date().getTime() - t < 1000;) v.GetRecordState();
WScript.Echo("stop " + v.StopRec());
""")
    assert echoed == {"start": ["1"], "state": ["1"], "stop": ["1"]}
    stream = scene.video_stream(scene.probe(avi))
    assert (stream["width"], stream["height"]) == (128, 96)
    assert int(stream["nb_frames"]) > 0


def test_a_width_given_on_the_command_line_reads_back_as_its_low_16_bits(
        session, registered, tmp_path):
    proc = session.start(session.bin / "Vidorra.exe", "-w", 40000)
    dlg = session.wait_window(TITLE)
    session.close_window(dlg["hwnd"])
    assert proc.wait(timeout=30) == 0
    try:
        echoed = run_script(session, tmp_path / "width.vbs", """
Set v = CreateObject("Vidorra.Application")
WScript.Echo "width", v.Width
""")
        assert echoed["width"] == ["-25536"]
    finally:
        session.wine("reg", "delete", STATE_KEY, "/v", "Width", "/f", check=False)


SIGNALS = """
Set fs = CreateObject("Scripting.FileSystemObject")
Sub Signal(name)
    fs.CreateTextFile(dir & name).Close
End Sub
Sub WaitFor(name)
    Dim t
    t = Timer
    Do While Not fs.FileExists(dir & name) And Abs(Timer - t) < 60
    Loop
End Sub
"""


def signal(tmp_path, name):
    (tmp_path / name).touch()


def wait_signal(tmp_path, name, proc, timeout=60):
    wait_until(lambda: (tmp_path / name).exists() or proc.poll() is not None, timeout,
               what=f"the script's '{name}'")
    assert (tmp_path / name).exists(), "the script ended early"


def start_script(session, path, text):
    path.write_text(text.replace("\n", "\r\n"))
    return session.start("cscript", "//nologo", session.windows_path(path))


def test_hot_keys_off_and_on_and_the_window_as_the_script_leaves_it(
        session, registered, tmp_path):
    avi = tmp_path / "keys.avi"
    script = start_script(session, tmp_path / "keys.vbs", SIGNALS + WAIT_STATE + f"""
dir = "{session.windows_path(tmp_path)}\\"
Set v = CreateObject("Vidorra.Application")
v.Width = 96
v.Height = 64
v.RecordSound = False
v.FileName = "{session.windows_path(avi)}"
' Shown, the window takes the keyboard: Wine passes hot keys on only while one of its windows
' has it.
v.ShowWindow
Signal "shown"
WaitFor "seen"
v.DisableHotKeys
Signal "disabled"
WaitFor "pressed"
fs.CreateTextFile(dir & "state-disabled-" & v.GetRecordState()).Close
v.EnableHotKeys
Signal "enabled"
WaitFor "pressed2"
fs.CreateTextFile(dir & "state-enabled-" & WaitState(v, 1)).Close
v.StopRec
v.HideWindow
v.StartRec
WaitState v, 1
Rest v, 500
v.StopRec
Signal "recorded-hidden"
WaitFor "done"
""")
    wait_signal(tmp_path, "shown", script)
    assert wait_until(lambda: [w for w in vidorra_windows(session) if w["visible"]], 10,
                      what="the window shown")
    signal(tmp_path, "seen")
    wait_signal(tmp_path, "disabled", script)
    # The key-capture dialog lets the keys go while it runs; they stay off after it.
    rebind(MainWindow(session), PAUSE_BUTTON)
    key(session, "F2")
    time.sleep(1.5)
    signal(tmp_path, "pressed")
    wait_signal(tmp_path, "enabled", script)
    assert (tmp_path / "state-disabled-0").exists()
    key(session, "F2")
    signal(tmp_path, "pressed2")
    wait_until(lambda: list(tmp_path.glob("state-enabled-*")), 30, what="the state after F2")
    states = [p.name for p in tmp_path.glob("state-enabled-*")]
    assert states == ["state-enabled-1"], (states, session.windows())

    wait_signal(tmp_path, "recorded-hidden", script)
    # Hidden by the script, it stays hidden through a recording and its stop.
    assert vidorra_windows(session) and not [w for w in vidorra_windows(session) if w["visible"]]
    signal(tmp_path, "done")
    assert script.wait(timeout=60) == 0
    # The F2 typed into the shown window while the keys were off made the copy the user's: it
    # outlives its client until closed.
    time.sleep(2)
    left = vidorra_windows(session)
    assert len(left) == 1
    session.close_window(left[0]["hwnd"])
    wait_until(lambda: not vidorra_windows(session), 30, what="the copy to end when closed")


def test_each_creation_is_a_copy_that_ends_with_its_last_client_but_not_by_closing(
        session, registered, tmp_path):
    script = start_script(session, tmp_path / "life.vbs", SIGNALS + f"""
dir = "{session.windows_path(tmp_path)}\\"
Set a = CreateObject("Vidorra.Application")
Set b = CreateObject("Vidorra.Application")
b.ShowWindow
Signal "two"
WaitFor "closed"
Set a = Nothing
fs.CreateTextFile(dir & "state-" & b.GetRecordState()).Close
Signal "one"
WaitFor "last"
Set b = Nothing
Signal "none"
""")
    wait_signal(tmp_path, "two", script)
    assert len(vidorra_windows(session)) == 2
    shown = wait_until(lambda: [w for w in vidorra_windows(session) if w["visible"]], 10,
                       what="the shown copy")
    session.close_window(shown[0]["hwnd"])
    wait_until(lambda: not [w for w in vidorra_windows(session) if w["visible"]], 10,
               what="the closed window to hide")
    signal(tmp_path, "closed")
    wait_signal(tmp_path, "one", script)
    assert (tmp_path / "state-0").exists()  # the hidden copy still serves its client
    wait_until(lambda: len(vidorra_windows(session)) == 1, 30, what="the first copy to end")
    signal(tmp_path, "last")
    assert script.wait(timeout=60) == 0
    wait_until(lambda: not vidorra_windows(session), 30, what="the second copy to end")
