"""The Wine session of tools/wine-session, for pytest: start one, run Windows programs in it,
read their windows through the probe, take screenshots, end it."""

import functools
import json
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SESSION_TOOL = ROOT / "tools" / "wine-session"


def wait_until(predicate, timeout=20.0, interval=0.2, what="condition"):
    """Polls predicate until it returns something truthy; raises after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


class WineSession:
    def __init__(self, size="1024x768", depth=24):
        self.dir = Path(tempfile.mkdtemp(prefix="e2e.", dir=ROOT / "build"))
        subprocess.run(
            [str(SESSION_TOOL), "--start", str(self.dir), "--size", size, "--depth", str(depth)],
            check=True, timeout=300)
        self.env = self._read_env()
        self.build = Path(self.env["VIDORRA_BUILD"])
        self.bin = self.build / "bin"
        self.procs = []
        self._probe = None
        self._probe_lock = threading.Lock()

    def _read_env(self):
        out = subprocess.run(["bash", "-c", f". '{self.dir}/env' && env -0"], check=True,
                             capture_output=True, timeout=30).stdout
        env = {}
        for item in out.split(b"\0"):
            if b"=" in item:
                k, v = item.split(b"=", 1)
                env[k.decode()] = v.decode()
        return env

    def close(self):
        self._end_probe()
        for p in self.procs:
            if p.poll() is None:
                p.kill()
        subprocess.run([str(SESSION_TOOL), "--stop", str(self.dir)], timeout=120)
        shutil.rmtree(self.dir, ignore_errors=True)

    # Programs

    def start(self, exe, *args, cwd=None):
        """Starts a Windows program without waiting for it."""
        p = subprocess.Popen(["wine", str(exe), *map(str, args)], env=self.env,
                             cwd=str(cwd or Path(exe).parent), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.procs.append(p)
        return p

    def run(self, *args, timeout=60, check=True):
        """Runs a command (Windows or Linux) in the session and returns its result.

        Output goes through files, not pipes: Wine may start helper processes (the desktop,
        services) that inherit a pipe and would keep it open long after the command ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            p = subprocess.run(list(map(str, args)), env=self.env, stdout=out, stderr=err,
                               timeout=timeout)
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(
                p.args, p.returncode, out.read().decode(errors="replace"),
                err.read().decode(errors="replace"))
        if check:
            result.check_returncode()
        return result

    def wine(self, *args, timeout=60, check=True):
        return self.run("wine", *args, timeout=timeout, check=check)

    def windows_path(self, path):
        """The Windows name of a Linux path, through the prefix's drive letters as winepath
        gives it, without starting a Windows program for it."""
        path = os.path.abspath(str(path))
        devices = Path(self.env["WINEPREFIX"]) / "dosdevices"
        best = None
        for link in devices.iterdir():
            name = link.name.lower()
            if len(name) != 2 or name[1] != ":" or not link.is_symlink():
                continue
            target = os.path.realpath(link)
            if path == target or path.startswith(target.rstrip("/") + "/"):
                if best is None or len(target) > len(best[1]):
                    best = (name.upper(), target)
        if best is None:
            return self.run("winepath", "-w", path).stdout.strip()
        rest = path[len(best[1]):].lstrip("/")
        return best[0] + "\\" + rest.replace("/", "\\")

    # Windows on the screen, through the probe (tests/e2e/tools/winprobe_win.cpp)

    def probe(self, *args, check=True, timeout=30):
        """Runs one probe command ("dump", "click HWND"...) and returns its result.

        One probe per session answers every command over a pipe: starting a Windows program
        for each poll of a caption cost the suite minutes. A probe that died or stopped
        answering is replaced once."""
        line = "\t".join(map(str, args)) + "\n"
        with self._probe_lock:
            for attempt in (1, 2):
                try:
                    proc, answers = self._probe_process()
                    proc.stdin.write(line.encode())
                    proc.stdin.flush()
                    out = []
                    deadline = time.monotonic() + timeout
                    while True:
                        got = answers.get(timeout=max(0.0, deadline - time.monotonic()))
                        if got is None:
                            raise EOFError("the probe ended")
                        if got.startswith("\x1e"):
                            rc = int(got[1:])
                            break
                        out.append(got)
                    break
                except (OSError, EOFError, ValueError, queue.Empty):
                    self._end_probe()
                    if attempt == 2:
                        raise
        result = subprocess.CompletedProcess(["winprobe", *map(str, args)], rc,
                                             "".join(out), "")
        if check:
            result.check_returncode()
        return result

    def _probe_process(self):
        if self._probe is None or self._probe[0].poll() is not None:
            self._end_probe()
            proc = subprocess.Popen(["wine", str(self.bin / "winprobe.exe"), "serve"],
                                    env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, cwd=str(self.bin))
            answers = queue.Queue()

            def read():
                for raw in proc.stdout:
                    answers.put(raw.decode(errors="replace").replace("\r", ""))
                answers.put(None)

            threading.Thread(target=read, daemon=True).start()
            self._probe = (proc, answers)
        return self._probe

    def _end_probe(self):
        if self._probe is None:
            return
        proc, _ = self._probe
        self._probe = None
        try:
            proc.stdin.close()
            proc.wait(timeout=5)
        except Exception:
            proc.kill()

    def windows(self):
        return [json.loads(line) for line in self.probe("dump").stdout.splitlines()
                if line.startswith("{")]

    @functools.cached_property
    def root_window(self):
        """The X root window's id: what the pointer is over where no window is."""
        return int(self.run("xwininfo", "-root").stdout.split("Window id:")[1].split()[0], 16)

    def find_top(self, title, visible=True):
        for w in self.windows():
            if w["hwnd"] == w["top"] and w["text"] == title and (w["visible"] or not visible):
                return w
        return None

    def children(self, top):
        return [w for w in self.windows() if w["top"] == top["hwnd"] and w["hwnd"] != top["hwnd"]]

    def wait_window(self, title, timeout=30):
        return wait_until(lambda: self.find_top(title), timeout, what=f"window '{title}'")

    def command(self, hwnd, command_id):
        self.probe("command", hwnd, command_id)

    def close_window(self, hwnd):
        self.probe("close", hwnd)

    def screenshot(self, name):
        """Saves the whole screen as a PNG among the test artefacts and returns its path."""
        out_dir = Path(os.environ.get("VIDORRA_ARTEFACTS", ROOT / "build" / "artefacts"))
        out_dir.mkdir(parents=True, exist_ok=True)
        path = out_dir / f"{name}.png"
        self.run("import", "-window", "root", path, timeout=60)
        return path
