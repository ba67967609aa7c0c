#!/bin/sh
# The kiosk's idle cost: CPU over a span of its waiting screen with the scrolling message running, and its
# peak resident memory, read from /proc (utime + stime, VmHWM).
# Usage: bench/kiosk/idle.sh <build dir> <server port> <seconds> [offscreen|xvfb]
# A totem-server must listen on 127.0.0.1:<server port> on the demo network; the kiosk is register 001 of
# branch 0001, whose waiting screen scrolls its message. Its registry key lives in a temporary folder.
set -eu
build=$1
port=$2
seconds=$3
platform=${4:-offscreen}
registry=$(mktemp -d)
trap 'kill "$kiosk_pid" 2> /dev/null || true; rm -rf "$registry"' EXIT
mkdir -p "$registry/QUENVOR"
printf '[General]\nIPServidor=127.0.0.1\nPortaServidor=%s\nTotem=0001001\n' "$port" > "$registry/QUENVOR/Strovel.ini"
export TOTEM_REGISTRY_DIR="$registry" LANG=pt_BR.UTF-8
if [ "$platform" = xvfb ]; then
    xvfb-run -a -s "-screen 0 1024x768x24" "$build/src/app/totem-kiosk" > /dev/null 2>&1 &
    sleep 2
    kiosk_pid=$(pgrep -x totem-kiosk -P $!)  # xvfb-run's child
else
    QT_QPA_PLATFORM=offscreen "$build/src/app/totem-kiosk" > /dev/null 2>&1 &
    kiosk_pid=$!
fi
sleep 5  # start-up calls and first paint
ticks() { awk '{print $14 + $15}' "/proc/$kiosk_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
peak=$(awk '/VmHWM/ {print $2}' "/proc/$kiosk_pid/status")
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v kb="$peak" -v p="$platform" \
    'BEGIN { printf "| %s | %d s | %.2f %% of one core | %.1f MB |\n", p, s, 100 * t / hz / s, kb / 1024 }'
