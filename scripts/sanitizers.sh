#!/usr/bin/env bash
# The test suite under the sanitizers, each kind in a build folder of its own:
#   scripts/sanitizers.sh asan   AddressSanitizer + UndefinedBehaviorSanitizer (with
#                                LeakSanitizer): the whole suite, in build-asan
#   scripts/sanitizers.sh tsan   ThreadSanitizer: the tests that run threads (key
#                                reader, audio end of stream, device layer, virtual
#                                board, the thread class), in build-tsan
# Every sanitizer report, also of the programs that tests start (the virtual
# board, the player), goes to a file in <build>/sanitizer-logs/; any such file
# fails the run. The suppressions in scripts/sanitizers/ name system libraries
# only: a finding in the project's own code always fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
supp="$root/scripts/sanitizers"
kind=${1:-}

# Programs and tests for ThreadSanitizer, and the tests among them that run
# threads in the test's own process (the tests that start a player program
# check its signals and exit, not its threads).
tsan_targets=(expbord-sim gui_tst_thread tst_keyboardpath tst_audiolib tst_unitaudioplayer
    tst_expbordlib tst_boardsim tst_faults)
tsan_tests='^(KeyThread\.|audio\.|expbordlib\.|boardsim\.|Thread\.|[A-Za-z]+/Thread[A-Za-z]+\.|Shutdown\.(KeyHandOff|DeadWindow)|BoardFault\.)'

case "$kind" in
asan)
    build="$root/build-asan"
    sanitize="address;undefined"
    ;;
tsan)
    build="$root/build-tsan"
    sanitize="thread"
    ;;
*)
    echo "Gebruik: scripts/sanitizers.sh asan|tsan" >&2
    exit 2
    ;;
esac

logs="$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
# Set for the build too: test discovery runs the instrumented test programs.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=0:log_path=$logs/asan:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp:log_path=$logs/ubsan:log_exe_name=1"
export TSAN_OPTIONS="suppressions=$supp/tsan.supp:second_deadlock_stack=1:history_size=4:log_path=$logs/tsan:log_exe_name=1"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

if [ ! -f "$build/build.ninja" ]; then
    # -O1 with line tables only builds faster than -O2 -g; the reports still
    # carry file and line, and assertions stay on.
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize \
        -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" -DCMAKE_C_FLAGS_SANITIZE="-O1 -g1" \
        -DEXPBORD_SANITIZE="$sanitize" >/dev/null || exit 1
fi

status=0
if [ "$kind" = asan ]; then
    cmake --build "$build" || exit 1
    ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 || status=1
else
    cmake --build "$build" --target "${tsan_targets[@]}" audio_fixtures || exit 1
    ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 -R "$tsan_tests" \
        -E 'boardsim\.install' || status=1
fi

reports=$(find "$logs" -type f | sort)
if [ -n "$reports" ]; then
    for f in $reports; do
        echo "=== $f"
        cat "$f"
    done
    echo "Sanitizer ($kind): $(echo "$reports" | wc -l) rapport(en) hierboven." >&2
    status=1
fi
exit $status
