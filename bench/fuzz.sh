#!/usr/bin/env bash
# Native fuzz targets over the portable code: clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer. Not part of tools/test: it runs for minutes, and what it prints is
# a record of a run, not a pass or a fail of the build.
#   bench/fuzz.sh [TARGET...]     every target when none is named
# A target TARGET is bench/fuzz/TARGET_fuzz.cpp, with its seed corpus (small, in the repository)
# in bench/fuzz/TARGET/, or made by the target itself when run with VIDORRA_FUZZ_SEEDS=DIR. Inputs it finds go to build/fuzz/corpus/TARGET, findings (crashes, leaks,
# time-outs) to build/fuzz/findings/TARGET/.
#   RUNS   inputs per target (default 1000000)
#   JOBS   compile jobs (default 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-1000000}
jobs=${JOBS:-2}
out=$root/build/fuzz

need=()
command -v clang++ >/dev/null || need+=(clang)
dpkg-query -W -f='${Status}' libfuzzer-14-dev 2>/dev/null | grep -q 'install ok installed' ||
    need+=(libfuzzer-14-dev)
if [ ${#need[@]} -gt 0 ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    echo "fuzz: installing ${need[*]}" >&2
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
        "${need[@]}" >/dev/null
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$root"/bench/fuzz/*_fuzz.cpp; do
        name=$(basename "$f" _fuzz.cpp)
        targets+=("$name")
    done
fi
for t in "${targets[@]}"; do
    [ -f "$root/bench/fuzz/${t}_fuzz.cpp" ] || { echo "fuzz: no target $t" >&2; exit 2; }
done

# The portable core once, instrumented for the fuzzer; each target links what it uses from it.
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=all -I"$root/src")
mkdir -p "$out/obj"
sources=$(find "$root/src" -name '*.cpp' ! -name '*_win.cpp' ! -path '*/resources/*' | sort)
echo "fuzz: compiling the portable core" >&2
printf '%s\n' $sources | xargs -P "$jobs" -I{} sh -c '
    obj="$0/$(echo "{}" | sed "s|.*/src/||; s|/|_|g").o"
    [ "$obj" -nt "{}" ] || clang++ "$@" -fsanitize=fuzzer-no-link -c "{}" -o "$obj"
' "$out/obj" "${flags[@]}"
rm -f "$out/libcore.a"
ar rcs "$out/libcore.a" "$out"/obj/*.o

printf '%-16s %10s %8s %10s %8s %s\n' target inputs seconds inputs/s corpus findings
for t in "${targets[@]}"; do
    exe=$out/${t}_fuzz
    clang++ "${flags[@]}" -fsanitize=fuzzer "$root/bench/fuzz/${t}_fuzz.cpp" "$out/libcore.a" \
        -lz -o "$exe"
    corpus=$out/corpus/$t findings=$out/findings/$t seeds=$root/bench/fuzz/$t
    mkdir -p "$corpus" "$findings"
    # A target whose seeds come from our own code makes them itself.
    if grep -q VIDORRA_FUZZ_SEEDS "$root/bench/fuzz/${t}_fuzz.cpp"; then
        seeds=$out/seeds/$t
        rm -rf "$seeds"
        mkdir -p "$seeds"
        VIDORRA_FUZZ_SEEDS=$seeds "$exe"
    fi
    log=$out/$t.log
    start=$(date +%s.%N)
    status=0
    "$exe" -runs="$runs" -max_len=4096 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
    end=$(date +%s.%N)
    done_runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' ||
        echo 0)
    seconds=$(echo "$end - $start" | bc -l)
    rate=$(echo "$done_runs / $seconds" | bc -l)
    found=$(find "$findings" -type f | wc -l)
    printf '%-16s %10s %8.1f %10.0f %8s %s\n' "$t" "$done_runs" "$seconds" "$rate" \
        "$(find "$corpus" -type f | wc -l)" "$found (exit $status, log $log)"
done
