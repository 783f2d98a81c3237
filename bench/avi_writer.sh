#!/usr/bin/env bash
# AVI writer benchmark, figures not pass/fail: the write cost of one full-screen frame (3 MB)
# through the movie writer next to the same bytes written to a plain file, three rounds each,
# natively, into build/bench (or DIRECTORY).
#   bench/avi_writer.sh [FRAMES] [DIRECTORY]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build" native >/dev/null
cmake --build "$root/build/native" --target avi_writer_bench >/dev/null
out=${2:-$root/build/bench}
mkdir -p "$out"
"$root/build/native/bin/avi_writer_bench" "${1:-200}" "$out"
