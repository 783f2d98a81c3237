"""Adds up the JUnit-style reports of the test layers into one closing line.

A layer whose report is missing or unreadable (its program crashed or hung) counts as one failure,
as does a layer whose exit status was not 0 while its report shows no failure.
"""

import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def merged_win_report(results: Path):
    """The Win32 suites report one file each; a suite that left none counts as one failure."""
    total = {"tests": 0, "failures": 0, "errors": 0, "skipped": 0, "disabled": 0}
    for report in sorted(results.glob("win-*.xml")):
        try:
            root = ET.parse(report).getroot()
        except (OSError, ET.ParseError):
            total["tests"] += 1
            total["failures"] += 1
            continue
        for key in total:
            total[key] += int(root.get(key, 0))
    missing = results / "win-missing.txt"
    if missing.exists():
        n = len(missing.read_text().split())
        total["tests"] += n
        total["failures"] += n
    merged = ET.Element("testsuites", {k: str(v) for k, v in total.items()})
    ET.SubElement(merged, "testsuite", {k: str(v) for k, v in total.items()})
    ET.ElementTree(merged).write(results / "win.xml")


def layer_counts(results: Path, name: str):
    if name == "win" and any(results.glob("win-*.xml")):
        merged_win_report(results)
    report = results / f"{name}.xml"
    rc_text = (results / f"{name}.rc").read_text() if (results / f"{name}.rc").exists() else ""
    exit_ok = rc_text.strip().endswith("exit 0")
    try:
        root = ET.parse(report).getroot()
    except (OSError, ET.ParseError):
        print(f"{name}: no readable report ({rc_text.strip() or 'not run'})", file=sys.stderr)
        return 0, 1, 0
    suites = [root] if root.tag == "testsuite" else list(root.iter("testsuite"))
    tests = failed = skipped = 0
    for s in suites:
        if s.get("tests") is None:
            continue
        tests += int(s.get("tests", 0))
        failed += int(s.get("failures", 0)) + int(s.get("errors", 0))
        skipped += int(s.get("skipped", 0)) + int(s.get("disabled", 0))
    if root.tag == "testsuites" and root.get("tests") is not None and suites and suites[0] is not root:
        # gtest: the totals on the root already cover the suites.
        tests = int(root.get("tests", 0))
        failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
        skipped = int(root.get("skipped", 0)) + int(root.get("disabled", 0))
    if not exit_ok and failed == 0:
        print(f"{name}: {rc_text.strip()} with no failure reported; counted as one failure",
              file=sys.stderr)
        failed = 1
    passed = max(tests - failed - skipped, 0)
    print(f"{name}: {passed} passed, {failed} failed, {skipped} skipped", file=sys.stderr)
    return passed, failed, skipped


def slowest(results: Path, count=10):
    """The slowest test cases of every report: (seconds, layer, name)."""
    cases = []
    for report in sorted(results.glob("*.xml")):
        if report.name == "win.xml":
            continue  # the merged totals, which hold no cases
        layer = report.stem.split("-")[0]
        try:
            root = ET.parse(report).getroot()
        except (OSError, ET.ParseError):
            continue
        for case in root.iter("testcase"):
            name = f"{case.get('classname', '')}.{case.get('name', '')}".lstrip(".")
            cases.append((float(case.get("time", 0) or 0), layer, name))
    return sorted(cases, reverse=True)[:count]


def main():
    results = Path(sys.argv[1])
    totals = [0, 0, 0]
    for name in sys.argv[2:]:
        for i, n in enumerate(layer_counts(results, name)):
            totals[i] += n
    build = results / "build.txt"
    if build.exists():
        print(f"build under test: {build.read_text().strip()}")
    print("slowest tests:")
    for seconds, layer, name in slowest(results):
        print(f"  {seconds:7.1f} s  {layer:4}  {name}")
    line = f"{totals[0]} passed, {totals[1]} failed"
    if totals[2]:
        line += f", {totals[2]} skipped"
    print(line)
    sys.exit(0 if totals[1] == 0 else 1)


if __name__ == "__main__":
    main()
