#!/usr/bin/env bash
# Builds the two Debian packages in a build folder and checks them without installing anything:
# their control data and file lists, then `systemd-analyze verify` of the units inside a folder where the
# packages are unpacked with dpkg -x, next to systemd's own units and xinit (downloaded with apt-get
# download, unpacked, never installed), so that every ExecStart program and every target is found.
#   deploy/check-packages.sh <build folder>
set -euo pipefail
BUILD=$(realpath "${1:?usage: $0 <build folder>}")
ROOT=$(mktemp -d)
trap 'rm -rf "$ROOT"' EXIT

(cd "$BUILD" && cpack -G DEB >/dev/null)
mapfile -t PACKAGES < <(ls "$BUILD"/totem-kiosk_*.deb "$BUILD"/totem-server_*.deb)
for package in "${PACKAGES[@]}"; do
    echo "== $(basename "$package")"
    dpkg -I "$package"
    dpkg -c "$package" | awk '{print "   ", $1, $6}'
    dpkg -x "$package" "$ROOT"
done

(cd "$ROOT" && apt-get download -q systemd xinit >/dev/null 2>&1 && for deb in ./*.deb; do dpkg -x "$deb" .; done) ||
    echo "(systemd and xinit could not be downloaded: their lines below are about the missing files)"
echo "== systemd-analyze verify --root"
systemd-analyze verify --root="$ROOT" /usr/lib/systemd/system/totem-server.service \
                                      /usr/lib/systemd/system/totem-kiosk.service
echo "units verified"
