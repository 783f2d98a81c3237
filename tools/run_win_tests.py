"""Runs the Win32 test program one suite at a time, inside a Wine session (tools/wine-session).

    python3 tools/run_win_tests.py RESULTS_DIR [GTEST_FILTER]

Each suite runs in a Wine process of its own with its own time limit, so windows, hooks and
cursor state one suite leaves behind cannot stall another, and a hang is charged to its suite.
Its output goes to RESULTS_DIR/win-SUITE.log and its report to RESULTS_DIR/win-SUITE.xml.

A suite whose process ended without a report is told apart by what it printed:
- no test had begun: the Wine loader died before the program ran (seen now and then with
  32-bit Wine); the suite is run once more;
- a test had begun: the test that was running is named and reported as failed.
Exit status 0 only when every suite passed.
"""

import os
import re
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from pathlib import Path

SUITE_LIMIT_S = 180
RUN = re.compile(r"^\[ RUN      \] (\S+)", re.M)
DONE = re.compile(r"^\[ +(?:OK|FAILED|SKIPPED) +\] (\S+) \(", re.M)


def windows_path(path: Path) -> str:
    return subprocess.run(["winepath", "-w", str(path)], capture_output=True, text=True,
                          check=True, timeout=60).stdout.strip()


def list_suites(exe: str, test_filter: str):
    listing = subprocess.run(["wine", exe, "--gtest_list_tests", f"--gtest_filter={test_filter}"],
                             capture_output=True, text=True, timeout=120).stdout
    suites = []
    for line in listing.replace("\r", "").splitlines():
        # Suite lines end with a dot and start at the margin; tests are indented below them.
        m = re.match(r"^([A-Za-z_][\w/]*)\.(\s|$)", line)
        if m and m.group(1) not in suites:
            suites.append(m.group(1))
    return suites


def run_suite(exe: str, suite: str, test_filter: str, log: Path, report: Path, windows_dir: str):
    """One run of one suite: (exit status, or None for a timeout; what it printed). The report
    goes into the results folder, whose Windows name is `windows_dir`."""
    cmd = ["wine", exe, f"--gtest_filter={suite_filter(suite, test_filter)}",
           f"--gtest_output=xml:{windows_dir}\\{report.name}"]
    with open(log, "wb") as out:
        try:
            rc = subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT,
                                timeout=SUITE_LIMIT_S).returncode
        except subprocess.TimeoutExpired:
            rc = None
    return rc, log.read_text(errors="replace")


def suite_filter(suite: str, test_filter: str) -> str:
    """The suite's tests, narrowed to those of the caller's filter that name it."""
    wanted = [p for p in test_filter.split(":") if p.split(".")[0] == suite]
    return ":".join(wanted) or f"{suite}.*"


def write_failure_report(report: Path, suite: str, test: str, why: str, seconds: float):
    root = ET.Element("testsuites", tests="1", failures="1", errors="0", disabled="0")
    s = ET.SubElement(root, "testsuite", name=suite, tests="1", failures="1", errors="0",
                      disabled="0", skipped="0", time=f"{seconds:.3f}")
    case = ET.SubElement(s, "testcase", name=test.split(".", 1)[-1], classname=suite,
                         time=f"{seconds:.3f}")
    ET.SubElement(case, "failure", message=why)
    ET.ElementTree(root).write(report)


def main():
    results = Path(sys.argv[1]).resolve()
    test_filter = sys.argv[2] if len(sys.argv) > 2 else "*"
    arch = os.environ.get("VIDORRA_WINE_ARCH")
    (results / "build.txt").write_text(
        "PE32 (i686) under 32-bit Wine\n" if arch == "32" else "x86-64 under 64-bit Wine\n")
    windows_dir = windows_path(results)
    os.chdir(Path(os.environ["VIDORRA_BUILD"]) / "bin")
    exe = "vidorra_win_tests.exe"
    suites = list_suites(exe, test_filter)
    if not suites:
        print("win: the test program listed no suites", file=sys.stderr)
        return 1
    status = 0
    for suite in suites:
        log = results / f"win-{suite.replace('/', '_')}.log"
        report = results / f"win-{suite.replace('/', '_')}.xml"
        for attempt in (1, 2):
            report.unlink(missing_ok=True)
            started = time.monotonic()
            rc, output = run_suite(exe, suite, test_filter, log, report, windows_dir)
            seconds = time.monotonic() - started
            begun = RUN.findall(output)
            if rc == 0 or report.exists() or begun or attempt == 2:
                break
            print(f"win: {suite}: the Wine process ended (exit {rc}) before any test began; "
                  "running it again", file=sys.stderr)
        if rc == 0 and report.exists():
            continue
        status = 1
        finished = set(DONE.findall(output))
        running = next((t for t in reversed(begun) if t not in finished), None)
        if rc is None:
            why = f"timed out after {SUITE_LIMIT_S} s"
        else:
            why = f"the process ended with exit {rc}"
        if running and not report.exists():
            why += f" during {running}"
            write_failure_report(report, suite, running, why, seconds)
        elif not report.exists():
            why += " before any test began, twice"
            write_failure_report(report, suite, f"{suite}.(start)", why, seconds)
        print(f"win: {suite} failed: {why}", file=sys.stderr)
        sys.stderr.write(output[-4000:])
    return status


if __name__ == "__main__":
    sys.exit(main())
