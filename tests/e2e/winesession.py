"""The Wine session of tools/wine-session, for pytest: start one, run Windows programs in it,
read their windows through the probe, take screenshots, end it."""

import functools
import json
import os
import shutil
import subprocess
import tempfile
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
        return self.run("winepath", "-w", path).stdout.strip()

    # Windows on the screen

    def windows(self):
        # The probe's dump always ends with 0, yet now and then under a busy Wine a run of it
        # ends with 1 having printed nothing; such a run is tried again.
        for attempt in range(3):
            result = self.wine(self.bin / "winprobe.exe", "dump", timeout=30,
                               check=attempt == 2)
            if result.returncode == 0:
                break
            time.sleep(0.5)
        return [json.loads(line) for line in result.stdout.splitlines() if line.startswith("{")]

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
        self.wine(self.bin / "winprobe.exe", "command", hwnd, command_id)

    def close_window(self, hwnd):
        self.wine(self.bin / "winprobe.exe", "close", hwnd)

    def screenshot(self, name):
        """Saves the whole screen as a PNG among the test artefacts and returns its path."""
        out_dir = Path(os.environ.get("VIDORRA_ARTEFACTS", ROOT / "build" / "artefacts"))
        out_dir.mkdir(parents=True, exist_ok=True)
        path = out_dir / f"{name}.png"
        self.run("import", "-window", "root", path, timeout=60)
        return path
