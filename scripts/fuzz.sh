#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# in build-fuzz and runs each one on its seeds for a while.
#   scripts/fuzz.sh [SECONDS] [FUZZER...]   default 25 s each, every fuzzer
# The seeds in fuzz/corpus/ stay as they are; what a run learns is kept in
# build-fuzz/corpus/<fuzzer>/ for the next run. A crash or a broken invariant
# leaves its input in build-fuzz/findings/<fuzzer>/ and makes the run fail;
# replay it with: build-fuzz/bin/<fuzzer> build-fuzz/findings/<fuzzer>/crash-...
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${1:-25}
shift || true

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DEXPBORD_FUZZ=ON -DEXPBORD_SANITIZE="address;undefined" >/dev/null || exit 1
fi
cmake --build "$build" --target fuzzers || exit 1

fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
    for seeds in "$root"/fuzz/corpus/*/; do
        fuzzers+=("$(basename "$seeds")")
    done
fi

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
summary=""
for name in "${fuzzers[@]}"; do
    corpus="$build/corpus/$name"
    findings="$build/findings/$name"
    log="$build/findings/$name.log"
    mkdir -p "$corpus" "$findings"
    "$build/bin/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$name" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    inputs=$(find "$corpus" -type f | wc -l)
    if [ $rc -eq 0 ]; then
        verdict="geen vondsten"
    else
        verdict="VONDST (exit $rc), zie $log"
        failed=1
        grep -m1 -E "invariant broken|ERROR: |runtime error" "$log" || tail -20 "$log"
    fi
    summary+=$(printf '%-16s %5s s %10s uitvoeringen %7s/s  %-9s %5s invoeren  %s' "$name" \
        "$seconds" "${runs:-?}" "${rate:-?}" "${cov:-cov: ?}" "$inputs" "$verdict")$'\n'
done
printf '%s' "$summary"
exit $failed
