#!/usr/bin/env bash
# The main job of ./run: the virtual board for board 0 and a program on it.
#   scripts/main-job.sh          the player
#   scripts/main-job.sh jog      the jog test program
# With a display the board's window opens beside the program. Without one the
# player runs a short scripted demo instead (scripts/demo.sh).
# EXPBORD_BIN names another build's bin folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${EXPBORD_BIN:-$root/build/bin}
program=${1:-player}
case "$program" in
player | jog) ;;
*)
    echo "Gebruik: ./run [player|jog]" >&2
    exit 2
    ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    if [ "$program" = player ] && [ -x "$root/scripts/demo.sh" ]; then
        exec "$root/scripts/demo.sh"
    fi
    echo "Geen beeldscherm gevonden: $program draait zonder venster (offscreen) tot Ctrl-C."
    export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
fi

sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    true
}
trap cleanup EXIT

# Start a virtual board unless one already serves board 0.
if ! "$bin/expbord-sim" ctl --board 0 state >/dev/null 2>&1; then
    sim_args=(--boards 0)
    [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && sim_args+=(--headless)
    "$bin/expbord-sim" "${sim_args[@]}" &
    sim_pid=$!
    for _ in $(seq 50); do
        "$bin/expbord-sim" ctl --board 0 state >/dev/null 2>&1 && break
        sleep 0.1
    done
fi

"$bin/$program" 0
