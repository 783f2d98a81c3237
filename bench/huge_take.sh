#!/usr/bin/env bash
# A real full-screen take past 3 GiB of uncompressed frames (1024x768 at 25 fps, chosen in the
# compressor list as a user would), checked as the system tests check a movie: OpenDML segments,
# every frame the program took in the file and decoding. Prints positions, frames, the take's
# length by the test scene's clock and the file's size. Needs about 3.2 GiB of free disk.
#   bench/huge_take.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build" wine >/dev/null
cd "$root"
PYTHONPATH=$root/tests/e2e exec /usr/bin/python3 -m pytest -q -s -p no:cacheprovider --rootdir="$root/tests/e2e" \
    -p conftest bench/huge_take.py
