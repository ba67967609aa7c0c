#!/usr/bin/env bash
# A guided tour of the kiosk on a private Xvfb display against the demo server: a first start that asks for
# its settings, then a badge swiped at a register of each kind. A screenshot of every step goes into the
# output folder. Usage: scripts/tour.sh <build folder> <output folder>
set -euo pipefail
BUILD=$(realpath "$1")
OUT=$(realpath -m "$2")
DEMO=$(realpath -m "${DEMO:-$OUT/../demo}")
WORK=$(mktemp -d)
export TOTEM_REGISTRY_DIR="$WORK/registry" XDG_DATA_HOME="$WORK/data"
source "$(dirname "$0")/demo-env.sh"
mkdir -p "$OUT"
rm -f "$OUT"/*.png

KIOSK=
cleanup() {
    [ -n "$KIOSK" ] && kill "$KIOSK" 2>/dev/null
    stop_demo_server
    kill "$XVFB" 2>/dev/null || true
    rm -rf "$WORK"
}
DISPLAY_NUMBER=$(( 90 + RANDOM % 100 ))
Xvfb ":$DISPLAY_NUMBER" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap cleanup EXIT
export DISPLAY=":$DISPLAY_NUMBER"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
start_demo_server

# The window with the keyboard focus; every screen of the kiosk is a window of its own and takes the focus.
focused() { xdotool getwindowfocus 2>/dev/null || echo none; }
# Waits (at most 20 s) until a screen other than `before` and other than the shell behind every screen has
# the keyboard: on a busy machine a screen may take longer to come up than any fixed pause, and keys typed
# before it is up are lost.
await_screen() {
    local before=$1 now
    for _ in $(seq 200); do
        now=$(focused)
        [ "$now" != "$before" ] && [ "$now" != none ] && [ "$now" != "$SHELL_WINDOW" ] && return 0
        kill -0 "$KIOSK" 2>/dev/null || break
        sleep 0.1
    done
    echo "tour: no new screen came up; the kiosk's log:" >&2; cat "$WORK/kiosk.log" >&2; exit 1
}
# Runs an action that opens or closes a screen, then waits for the next screen.
step() {
    local before; before=$(focused)
    "$@"
    await_screen "$before"
}
start_kiosk() {
    LC_ALL=pt_BR.UTF-8 LANG=pt_BR.UTF-8 "$BUILD/src/app/totem-kiosk" >>"$WORK/kiosk.log" 2>&1 &
    KIOSK=$!
    # The shell is the kiosk's first window; its first screen (a message or the terminal) follows.
    SHELL_WINDOW=$(timeout 20 xdotool search --sync --onlyvisible --name "Terminal de Consulta" | head -1) || true
    await_screen none
}
stop_kiosk() { kill "$KIOSK" 2>/dev/null; wait "$KIOSK" 2>/dev/null || true; KIOSK=; }
shot() {
    sleep "${2:-1.5}"
    kill -0 "$KIOSK" 2>/dev/null || { echo "tour: the kiosk ended early; its log:" >&2; cat "$WORK/kiosk.log" >&2; exit 1; }
    import -window root "$OUT/$1.png"
    echo "  $OUT/$1.png"
}
swipe() { xdotool type --delay 40 "$1"; xdotool key Return; }
# Clicks a point of the screen given relative to a window of the given size centred on the 1024 x 768 screen.
click_in() { xdotool mousemove $(( (1024 - $1) / 2 + $3 )) $(( (768 - $2) / 2 + $4 )) click 1; }
# The keypad takes digits only; the port is set beside the address.
enter_address() { xdotool key Return; set_registry_value PortaServidor "$SERVER_PORT"; }

echo "Tour screenshots:"
# First start: neither the server address nor the terminal key is known yet.
start_kiosk
shot 01-endereco-nao-encontrado 0
step xdotool key Return
xdotool type --delay 60 "127.0.0.1"; shot 02-teclado-endereco
step enter_address; shot 03-chave-nao-encontrada 0.5
step xdotool key Return
xdotool type --delay 60 "0001001"; shot 04-teclado-chave
step xdotool key Return; shot 05-terminal-aguardando 3
step swipe "1001"; shot 06-saldos
step xdotool key Return; shot 07-extrato-simplificado 2.5
step click_in 792 573 754 533; shot 08-de-volta-ao-terminal
step swipe "99999"; shot 09-consumidor-nao-cadastrado
stop_kiosk

set_registry_value Totem 0001002; start_kiosk
step swipe "900100010001000000123"; shot 10-extrato-detalhado 2.5
stop_kiosk

set_registry_value Totem 0001004; start_kiosk
step swipe "1001"; step xdotool key Return; shot 11-escolha-da-loja
# L, A and N tapped on the list's own keyboard (keys 64 x 54; rows at 418 and 473 of the 800 x 600 list).
for key in "561 445" "41 445" "366 500"; do click_in 800 600 $key; sleep 0.3; done
shot 12-loja-filtrada
step xdotool key Return; shot 13-extrato-grupo-loja 2.5
stop_kiosk

set_registry_value Totem 0001005; start_kiosk
step swipe "900100010001000000123"; shot 14-extrato-grupo 2.5
stop_kiosk
echo "The screenshots are in $OUT"
