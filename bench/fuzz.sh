#!/usr/bin/env bash
# Runs one libFuzzer target over the portable core under the address and undefined-behaviour
# sanitizers: bench/fuzz.sh TARGET [RUNS] (default a million inputs). TARGET is the name of a
# tests/fuzz/TARGET.cpp; it starts from the seeds in tests/fuzz/TARGET_corpus when there are any.
# Prints the inputs run and ends non-zero when the fuzzer finds a fault (its input is kept under
# build/fuzz/findings).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: bench/fuzz.sh TARGET [RUNS], e.g. zmbv_decoder_fuzz}
runs=${2:-1000000}
[ -f "$root/tests/fuzz/$target.cpp" ] || { echo "no tests/fuzz/$target.cpp" >&2; exit 2; }
"$root/tools/setup"

build=$root/build/fuzz
if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVIDORRA_FUZZ=ON >/dev/null
fi
cmake --build "$build" --target "$target" -j 2 >/dev/null

# The seeds stay as committed; what the fuzzer learns goes to a scratch corpus.
work=$build/corpus/$target
mkdir -p "$work" "$build/findings"
seeds=()
[ -d "$root/tests/fuzz/${target}_corpus" ] && seeds=("$root/tests/fuzz/${target}_corpus")
start=$(date +%s)
status=0
"$build/bin/$target" -runs="$runs" -max_len=4096 -artifact_prefix="$build/findings/" \
    -print_final_stats=1 "$work" "${seeds[@]}" >"$build/$target.log" 2>&1 || status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==.*ERROR|SUMMARY)' \
    "$build/$target.log" || true
echo "$target: $runs inputs asked, $(( $(date +%s) - start )) s, exit $status"
exit "$status"
