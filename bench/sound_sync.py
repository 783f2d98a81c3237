#!/usr/bin/env python3
"""Sound against picture in recordings of the test scene flashing with a tone every few
seconds: for each movie, how far each tone's onset lies from its flash's first frame (mean, min,
max) and how that offset moves over the recording (its regression slope, as ms per 10 minutes),
in milliseconds and in frame periods. Figures, not pass/fail.

    sound_sync.py --rate HZ --fps FPS NAME=MOVIE [NAME=MOVIE...]
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

from sound import Sync  # noqa: E402

# Tones further than this from every flash belong to no flash (flashes come seconds apart).
PAIRING_LIMIT_S = 0.5


def figures(path, rate):
    sync = Sync(path, rate, within=PAIRING_LIMIT_S)
    offsets = sync.offsets
    row = {"flashes": len(offsets) + sync.unpaired, "tones": len(sync.heard),
           "paired": len(offsets), "sound_s": sync.sound_seconds}
    if len(offsets) >= 2:
        row.update(mean=sum(offsets) / len(offsets), min=min(offsets), max=max(offsets),
                   drift=sync.slope() * 600, span=sync.seen[-1] - sync.seen[0])
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rate", type=int, required=True, help="sample rate of the sound")
    parser.add_argument("--fps", type=float, required=True, help="frame rate of the picture")
    parser.add_argument("movies", nargs="+", metavar="NAME=MOVIE")
    args = parser.parse_args()
    period_ms = 1000 / args.fps

    rows = []
    for item in args.movies:
        name, _, path = item.partition("=")
        rows.append((name, figures(path, args.rate)))

    print(f"tone onset minus flash frame onset; drift = regression slope x 10 min; "
          f"frame period {period_ms:.1f} ms")
    print(f"{'':24} {'flashes':>7} {'tones':>6} {'paired':>6}   {'unit':<6} {'mean':>8} "
          f"{'min':>8} {'max':>8} {'drift/10min':>12}")
    for name, row in rows:
        counts = f"{name:24} {row['flashes']:7} {row['tones']:6} {row['paired']:6}"
        if "mean" not in row:
            print(f"{counts}   too few flashes with a tone to tell")
            continue
        for unit, scale, fmt in (("ms", 1000, "8.1f"), ("frames", 1000 / period_ms, "8.2f")):
            values = [row[k] * scale for k in ("mean", "min", "max", "drift")]
            print(f"{counts if unit == 'ms' else '':{len(counts)}}   {unit:<6} "
                  + " ".join(f"{v:{fmt}}" for v in values[:3]) + f" {values[3]:+12.{fmt[-2]}f}")
    print()
    for name, row in rows:
        span = row.get("span", 0)
        print(f"{name}: sound {row['sound_s']:.1f} s, flashes paired over {span:.1f} s")


if __name__ == "__main__":
    main()
