"""Reads back the test scene's counter from the first and the last frames of each movie given
and prints how the movie's clock (frame number / rate) keeps to the scene's (counter / 50):
the offset at the start, the drift to the end, the jitter, and how many frames the movie holds
against the real time it covers."""

import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
import scene  # noqa: E402

EDGE = 150  # frames read at each end


def frames_at_the_ends(path, count):
    """(frame number, frame) for the first and the last EDGE frames, in order."""
    last = count - EDGE
    frames = scene.decode_frames(path, select=f"lt(n\\,{EDGE})+gte(n\\,{last})")
    numbers = list(range(min(EDGE, count))) + list(range(max(EDGE, last), count))
    return list(zip(numbers, frames))


def frame_times(path):
    """Each frame's time in the movie, in decoding order: a frame dropped while recording leaves
    a gap in the times, not in the order."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "packet=pts_time", "-of", "csv=p=0", str(path)],
                         capture_output=True, text=True, check=True, timeout=600).stdout
    return sorted(float(line.strip().rstrip(",")) for line in out.splitlines() if line.strip())


def trimmed_mean(values):
    # The counter moves in 20 ms steps: a mean resolves a drift smaller than a step, and leaving
    # out the tenth at either end keeps a late capture or two from deciding it.
    values = sorted(values)
    cut = len(values) // 10
    return statistics.fmean(values[cut:len(values) - cut])


def analyse(path):
    rate = scene.frame_rate(scene.video_stream(scene.probe(path)))
    times = frame_times(path)
    count = len(times)
    if count < 2 * EDGE:
        return None
    first = None
    head, tail = [], []
    for number, frame in frames_at_the_ends(path, count):
        counter = scene.read_counter(frame, 0, 0)
        if counter is None:
            continue
        if first is None:
            first = counter
        shown = scene.counter_steps(first, counter) / scene.DEFAULT_RATE
        late = shown - (times[number] - times[0])  # the scene's time minus the movie's, s
        (head if number < EDGE else tail).append(late)
    start, end = trimmed_mean(head), trimmed_mean(tail)
    covered = times[-1] - times[0] + 1 / rate
    missing = round(covered * rate) - count
    real = covered + end - start
    return {"rate": rate, "frames": count, "movie_s": covered, "real_s": real,
            "missing": missing,
            "drift_ms": (end - start) * 1000, "jitter_ms": (max(head) - min(head)) * 1000}


def main():
    rows = [(Path(p).stem, analyse(p)) for p in sys.argv[1:]]
    print(f"{'movie':16} {'frames':>7} {'gaps':>5} {'movie s':>9} {'real s':>9} {'drift ms':>9} "
          f"{'drift/frame':>11} {'jitter ms':>9}")
    for name, r in rows:
        if r is None:
            print(f"{name:16} too short to read")
            continue
        print(f"{name:16} {r['frames']:7d} {r['missing']:5d} {r['movie_s']:9.2f} {r['real_s']:9.2f} "
              f"{r['drift_ms']:9.1f} {r['drift_ms'] / 1000 * r['rate']:11.2f} "
              f"{r['jitter_ms']:9.1f}")
    print("gaps: frames dropped while recording (their time is kept, their picture is not)")
    print("drift: how much later (+) the scene's clock is at the end than at the start against"
          " the movie's; drift/frame in frame periods")


if __name__ == "__main__":
    main()
