#!/usr/bin/env bash
# Runs the kiosk on a private Xvfb display from a fresh registry and photographs each screen as an operator
# meets it: the start-up message, the set-up keypad for the server address and for the terminal key, and
# the terminal. Usage: scripts/screenshots.sh <build folder> <output folder>
set -euo pipefail
BUILD=$1
OUT=$2
mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'kill $KIOSK $XVFB 2>/dev/null || true; rm -rf "$WORK"' EXIT

DISPLAY_NUMBER=$(( 90 + RANDOM % 100 ))
Xvfb ":$DISPLAY_NUMBER" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
export DISPLAY=":$DISPLAY_NUMBER"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

TOTEM_REGISTRY_DIR="$WORK/registry" XDG_DATA_HOME="$WORK/data" LC_ALL=pt_BR.UTF-8 LANG=pt_BR.UTF-8 \
    "$BUILD/src/app/totem" >"$WORK/kiosk.log" 2>&1 &
KIOSK=$!

# Waits until the kiosk shows <count> windows, then lets the newest paint.
wait_for() {
    sleep 0.5  # let the screen that was just answered go away first
    for _ in $(seq 100); do
        [ "$(xdotool search --onlyvisible --name 'Terminal de Consulta' 2>/dev/null | wc -l)" -ge "$1" ] && { sleep 0.7; return 0; }
        kill -0 "$KIOSK" 2>/dev/null || break
        sleep 0.1
    done
    echo "screenshots: the kiosk did not show the expected screen; its log:" >&2; cat "$WORK/kiosk.log" >&2; return 1
}
shot() { import -window root "$OUT/$1.png"; echo "  $OUT/$1.png"; }

echo "Screenshots:"
# The shell stays behind every screen: two windows while a message or a dialog shows over it.
wait_for 2; shot 01-endereco-nao-encontrado; xdotool key Return
wait_for 2; xdotool type --delay 80 "127.0.0.1"; shot 02-teclado-endereco; xdotool key Return
wait_for 2; shot 03-chave-nao-encontrada; xdotool key Return
wait_for 2; xdotool type --delay 80 "0001001"; shot 04-teclado-chave; xdotool key Return
wait_for 2; shot 05-terminal
xdotool key alt+F4
wait "$KIOSK" || true
