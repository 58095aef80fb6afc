#!/usr/bin/env bash
# The player on the virtual board without a display: a short scripted run.
# It makes two MP3 files and a playlist in a temporary folder, starts the board
# and the player offscreen, presses keys on the board's keyboard, prints what
# the board's display and LEDs showed, and saves pictures of both windows.
#   scripts/demo.sh              pictures go to a new folder under /tmp
#   EXPBORD_DEMO_SHOTS=DIR scripts/demo.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${EXPBORD_BIN:-$root/build/bin}

for tool in "$bin/expbord-sim" "$bin/player" "$bin/audiofixturegen"; do
    if [ ! -x "$tool" ]; then
        echo "demo: $tool ontbreekt; bouw eerst het project (./run doet dat)" >&2
        exit 1
    fi
done
command -v lame >/dev/null || {
    echo "demo: lame ontbreekt (Debian-pakket lame)" >&2
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/expbord-demo.XXXXXX")
shots=${EXPBORD_DEMO_SHOTS:-$(mktemp -d "${TMPDIR:-/tmp}/expbord-demo-beelden.XXXXXX")}
mkdir -p "$shots"
sim_pid=""
player_pid=""

stop() { # stop PID: SIGTERM, and wait for it
    [ -n "$1" ] || return 0
    kill -TERM "$1" 2>/dev/null || return 0
    wait "$1" 2>/dev/null || true
}
cleanup() {
    local rc=$?
    stop "$player_pid"
    stop "$sim_pid"
    # Qt's and SDL's remarks only matter when the demo failed.
    if [ "$rc" -ne 0 ]; then
        for log in "$work"/*.log; do
            [ -s "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; } >&2
        done
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Everything of this run stays in its own folder: a board that serves board 0
# elsewhere is not touched, and no playlist of the user is overwritten.
export EXPBORD_DEVICE_DIR="$work/dev"
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
export EXPBORD_SCREENSHOT_DIR="$shots"
ctl() { "$bin/expbord-sim" ctl --board 0 "$@"; }

echo "== Twee MP3-bestanden en een afspeellijst in $work"
make_track() { # make_track NAME FREQ SECONDS
    "$bin/audiofixturegen" tone "$work/track.wav" "$2" 44100 2 "$3" >/dev/null
    lame --quiet -b 128 "$work/track.wav" "$work/$1"
    rm -f "$work/track.wav"
}
make_track "Eerste nummer.mp3" 440 8
make_track "Tweede nummer.mp3" 660 8
# The player keeps its playlist beside its program file, so it runs from a copy here.
cp "$bin/player" "$work/player"
printf '%s\r\n' "$work/Eerste nummer.mp3" "$work/Tweede nummer.mp3" >"$work/player.m3u"

echo "== Virtueel bord (venster offscreen) en player starten"
"$bin/expbord-sim" --dir "$work/dev" --boards 0 >/dev/null 2>"$work/expbord-sim.log" &
sim_pid=$!
for _ in $(seq 100); do
    ctl state >/dev/null 2>&1 && break
    sleep 0.05
done
"$work/player" 0 2>"$work/player.log" &
player_pid=$!
# Ready once the window's handle is open and the key reader waits for keys.
player_ready() {
    local state
    state=$(ctl state 2>/dev/null) && [[ $state == *'"pendingReads":1'* ]]
}
for _ in $(seq 200); do
    player_ready && break
    sleep 0.05
done
player_ready || {
    echo "demo: de player kwam niet op het bord" >&2
    exit 1
}

show_board() { # one line of what the board shows now
    local state
    state=$(ctl state)
    local display leds
    display=$(sed -n 's/.*"display":\["\(.*\)","\(.*\)","\(.*\)"\].*/nummer "\1", tijd "\2", tekst "\3"/p' <<<"$state")
    leds=$(sed -n 's/.*"leds":"\([0-9A-F]*\)".*/\1/p' <<<"$state")
    printf '   %-28s %s, LED'"'"'s %s\n' "$1" "$display" "$leds"
}
press() { # press MAKE...: make and break of one key, as the keyboard sends them
    ctl keys "$@"
    if [ "$1" = E0 ]; then ctl keys E0 F0 "${@:2}"; else ctl keys F0 "$@"; fi
}

echo "== Toetsen op het toetsenbord van het bord"
show_board "bij de start:"
press 05
sleep 2.2
show_board "F1, eerste nummer speelt:"
ctl type demo
sleep 0.5
show_board "getypt: demo"
press E0 5A
sleep 1.5
show_board "Enter (num), pauze:"
press E0 5A
sleep 1.5
show_board "Enter (num), speelt weer:"
press E0 7A
sleep 2
show_board "Page Down, volgend nummer:"

echo "== Schermafdrukken"
rm -f "$shots/player.png" "$shots/expbord-sim.png"
kill -USR1 "$player_pid" "$sim_pid"
for _ in $(seq 100); do
    [ -s "$shots/player.png" ] && [ -s "$shots/expbord-sim.png" ] && break
    sleep 0.05
done

echo "== Wat het bord liet zien, in seconden sinds de start van het bord"
echo "   (display: veld en inhoud; LED's: elk geschreven patroon, hoogstens een seconde per regel)"
ctl events | sed -n \
    -e 's/^.*"t_us":\([0-9]*\),.*"op":"write","ok":true,.*"text":"\(.*\)"}$/\1 W \2/p' \
    -e 's/^.*"t_us":\([0-9]*\),.*"op":"leds","ok":true.*"pattern":"\([0-9A-F]*\)".*$/\1 L \2/p' |
    awk '
    # A run of LED patterns is printed at the time of its first one, a second at most per line.
    function flush() { if (leds != "") printf "   %6.1f  LED'"'"'s   %s\n", start, leds; leds = "" }
    $2 == "W" {
        flush()
        text = substr($0, index($0, " W ") + 3)
        field = substr(text, 1, 1); text = substr(text, 2)
        name = field == "0" ? "nummer" : field == "1" ? "tijd  " : field == "2" ? "tekst " : "?     "
        printf "   %6.1f  display %s \"%s\"\n", $1 / 1e6, name, text
        next
    }
    $2 == "L" {
        t = $1 / 1e6
        if (leds != "" && t - start >= 1) flush()
        if (leds == "") start = t
        leds = leds " " $3
    }
    END { flush() }'

for picture in player expbord-sim; do
    if [ ! -s "$shots/$picture.png" ]; then
        echo "demo: geen schermafdruk $shots/$picture.png" >&2
        exit 1
    fi
done
echo "== Schermafdrukken van de player en het bord: $shots/player.png en $shots/expbord-sim.png"
