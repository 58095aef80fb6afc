#!/usr/bin/env bash
# Soak run: one player process on the virtual board takes 100,000 key events
# and 2,000 track switches (F1..F12 over a playlist of real MP3 files). Prints
# the player's RSS at the start and the end and, when the player is an
# AddressSanitizer build, what LeakSanitizer finds at its exit.
#
#   bench/soak/soak.sh [BUILD]       BUILD: a build folder (default build)
#   bench/soak/soak.sh build         RSS of the normal build
#   bench/soak/soak.sh build-asan    RSS and leaks under LeakSanitizer
#
# SOAK_ROUNDS (default 2000) sets the number of rounds; each round is 50 key
# events of typing (two key blocks, the second ending in Delete, which empties
# the typed text) and one track switch (make and break of an F key).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rounds=${SOAK_ROUNDS:-2000}
bin="$build/bin"
fixtures="$build/tests/audio/fixtures"

for f in "$bin/player" "$bin/expbord-sim" "$fixtures/tone440.mp3" "$fixtures/short.mp3"; do
    if [ ! -e "$f" ]; then
        echo "$f ontbreekt: bouw eerst player, expbord-sim en audio_fixtures in $build" >&2
        exit 1
    fi
done

work=$(mktemp -d /tmp/expbord-soak-XXXXXX)
sim_pid=""
player_pid=""
cleanup() {
    [ -n "$player_pid" ] && kill -KILL "$player_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/devices" "$work/program" "$work/music"
cp "$bin/player" "$work/program/player"
# Twelve entries, one per function key, over two real files.
for i in $(seq 1 12); do
    src=$([ $((i % 2)) -eq 0 ] && echo tone440.mp3 || echo short.mp3)
    cp "$fixtures/$src" "$work/music/nummer$i.mp3"
    printf '%s\r\n' "$work/music/nummer$i.mp3" >>"$work/program/player.m3u"
done

ctl() { "$bin/expbord-sim" ctl --dir "$work/devices" --board 0 "$@"; }
state_field() { ctl state | grep -o "\"$1\":[^,}]*" | head -1 | cut -d: -f2; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$player_pid/status"; }
wait_for() { # wait_for FIELD VALUE SECONDS
    local deadline=$((SECONDS + $3))
    until [ "$(state_field "$1")" = "$2" ]; do
        if [ $SECONDS -ge $deadline ]; then
            echo "wachten op $1 = $2 duurde te lang" >&2
            exit 1
        fi
        sleep 0.05
    done
}

"$bin/expbord-sim" --headless --dir "$work/devices" --boards 0 >/dev/null &
sim_pid=$!
for _ in $(seq 100); do ctl state >/dev/null 2>&1 && break; sleep 0.05; done

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy EXPBORD_DEVICE_DIR="$work/devices"
export ASAN_OPTIONS="detect_leaks=1:log_path=$work/lsan"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizers/lsan.supp:print_suppressions=0"
"$work/program/player" 0 &
player_pid=$!
wait_for pendingReads 1 30
rss_start=$(rss_kb)

# Letters A..Z by scan code; a key press is a make and a break (F0 code).
letters=(1C 32 21 23 24 2B 34 33 43 3B 42 4B 3A 31 44 4D 15 2D 1B 2C 3C 2A 1D 22 35 1A)
fkeys=(05 06 04 0C 03 0B 83 0A 01 09 78 07)
key_events=0
switches=0
start=$SECONDS
for ((r = 0; r < rounds; r++)); do
    block=()
    for ((k = 0; k < 13; k++)); do
        c=${letters[$(((r * 25 + k) % 26))]}
        block+=("$c" F0 "$c")
    done
    ctl keys "${block[@]}"
    block=()
    for ((k = 13; k < 24; k++)); do
        c=${letters[$(((r * 25 + k) % 26))]}
        block+=("$c" F0 "$c")
    done
    block+=(E0 71 E0 F0 71) # Delete
    ctl keys "${block[@]}"
    key_events=$((key_events + 50))
    f=${fkeys[$((r % 12))]}
    ctl keys "$f" F0 "$f"
    switches=$((switches + 1))
    if [ $((r % 200)) -eq 199 ]; then
        wait_for keyBlocks 0 60
        echo "ronde $((r + 1))/$rounds: $key_events toetsgebeurtenissen, $switches wissels, RSS $(rss_kb) kB"
    fi
done
wait_for keyBlocks 0 60
# The player still follows: a last key, then the display shows what it typed.
ctl keys 4B F0 4B
deadline=$((SECONDS + 10))
until ctl state | grep -q '"display":\[[^]]*,"L"\]'; do
    [ $SECONDS -ge $deadline ] && { echo "de player volgt de toetsen niet meer" >&2; exit 1; }
    sleep 0.05
done
seconds=$((SECONDS - start))
rss_end=$(rss_kb)
last_track=$(ctl state | grep -o '"display":\["[^"]*"' | cut -d'"' -f4)

kill -TERM "$player_pid"
wait "$player_pid" || true
player_pid=""

echo "Soak van $(basename "$build"): $key_events toetsgebeurtenissen en $switches nummerwissels in $seconds s"
echo "  laatste nummer op het display: $last_track"
echo "  RSS bij de start: $rss_start kB, aan het eind: $rss_end kB ($(((rss_end - rss_start))) kB erbij)"
if readelf -d "$bin/player" 2>/dev/null | grep -q "libasan\." || nm "$bin/player" 2>/dev/null | grep -q " __asan_init"; then
    if ls "$work"/lsan.* >/dev/null 2>&1; then
        echo "  LeakSanitizer:"
        grep -h -E "^(Direct|Indirect) leak|SUMMARY" "$work"/lsan.* | sed 's/^/    /'
        cp "$work"/lsan.* "$build/" && echo "  volledige rapporten in $build/lsan.*"
        exit 1
    fi
    echo "  LeakSanitizer: geen lekken"
else
    echo "  (geen AddressSanitizer-build: lekken niet gemeten)"
fi
