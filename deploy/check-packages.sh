#!/usr/bin/env bash
# Builds the two Debian packages in a build folder (one without the test probe) and checks them:
#   1. lintian at error and warning level;
#   2. `systemd-analyze verify` of the units inside a folder where the packages are unpacked with dpkg -x,
#      next to systemd's own units, xinit and kill (apt-get download, never installed), so that every ExecStart
#      program and every target is found;
#   3. on this machine, as root: install, the server's unit enabled as an operator would, an upgrade to the
#      same packages rebuilt with a higher version, remove and purge; then nothing of theirs may be left
#      but the system users, which Debian keeps.
#   deploy/check-packages.sh <build folder>
set -euo pipefail
BUILD=$(realpath "${1:?usage: $0 <build folder>}")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

(cd "$BUILD" && rm -f totem-*.deb && cpack -G DEB >/dev/null 2>&1)
mapfile -t PACKAGES < <(ls "$BUILD"/totem-kiosk_*.deb "$BUILD"/totem-server_*.deb)

echo "== /etc/default/totem-server names every setting"
SOURCE=$(dirname "$(realpath "$0")")/..
missing=$(comm -23 <(grep -o 'TOTEM_SERVER_[A-Z_]*' "$SOURCE/appserver/Options.cpp" | sort -u) \
                   <(grep -o 'TOTEM_SERVER_[A-Z_]*' "$SOURCE/deploy/debian/totem-server.default" | sort -u))
if [ -n "$missing" ]; then
    echo "missing from deploy/debian/totem-server.default: $missing" >&2
    exit 1
fi
echo "every setting is there"

echo "== lintian"
lintian --fail-on error,warning --tag-display-limit 0 "${PACKAGES[@]}"
echo "lintian: no error, no warning"

echo "== systemd-analyze verify --root"
mkdir "$WORK/root"
for package in "${PACKAGES[@]}"; do
    dpkg -x "$package" "$WORK/root"
done
(cd "$WORK/root" && apt-get download -q systemd xinit procps >/dev/null 2>&1 && for deb in ./*.deb; do dpkg -x "$deb" .; done) ||
    echo "(systemd, xinit and procps could not be downloaded: their lines below are about the missing files)"
systemd-analyze verify --root="$WORK/root" /usr/lib/systemd/system/totem-server.service \
                                            /usr/lib/systemd/system/totem-kiosk.service
echo "units verified"

echo "== install, upgrade, remove, purge"
for name in totem-kiosk totem-server; do
    case $(dpkg-query -W -f '${db:Status-Abbrev}' "$name" 2>/dev/null || true) in
        "" | un*) ;;
        *) echo "skipped: $name is installed here, and the check would purge it (run it on a test machine)"
           exit 0 ;;
    esac
done
# The packages' dependencies first, so that the comparison below sees only what the packages themselves do.
depends=$(for package in "${PACKAGES[@]}"; do dpkg-deb -f "$package" Depends; done | paste -sd, -)
DEBIAN_FRONTEND=noninteractive apt-get satisfy -y -q "$depends" >/dev/null
snapshot() {
    find /etc /usr /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt \) -prune -o -print 2>/dev/null |
        sort
}
snapshot > "$WORK/before"

dpkg -i "${PACKAGES[@]}" >/dev/null
systemctl enable totem-server.service 2>/dev/null || deb-systemd-helper enable totem-server.service
test -L /etc/systemd/system/multi-user.target.wants/totem-server.service
test -d /var/lib/totem-server   # --create-demo may run before the service's first start
echo '#TOTEM_SERVER_WORKERS=4' >> /etc/default/totem-server   # an operator's edit, kept by the upgrade

for package in "${PACKAGES[@]}"; do
    name=$(basename "$package" .deb)
    dpkg-deb -R "$package" "$WORK/$name"
    sed -i 's/^Version: \(.*\)$/Version: \1+check1/' "$WORK/$name/DEBIAN/control"
    dpkg-deb -b --root-owner-group "$WORK/$name" "$WORK/$name+check1.deb" >/dev/null
done
dpkg -i "$WORK"/*+check1.deb >/dev/null
grep -q '^#TOTEM_SERVER_WORKERS=4$' /etc/default/totem-server
test -L /etc/systemd/system/multi-user.target.wants/totem-server.service   # still enabled
dpkg -s totem-server | grep -q '^Version: .*+check1$'

dpkg --remove totem-kiosk totem-server >/dev/null
test -e /etc/default/totem-server   # remove keeps the configuration
dpkg --purge totem-kiosk totem-server >/dev/null
snapshot > "$WORK/after"
if ! diff "$WORK/before" "$WORK/after"; then
    echo "the packages left the files above (> ) or took them (< )" >&2
    exit 1
fi
echo "install, upgrade, remove and purge left nothing behind"
