# shellcheck shell=bash
# Shared by the run scripts: a demo database, a totem-server on loopback and the kiosk's registry key.
# Source it with BUILD (a build folder) and DEMO (a folder for the demo's files) set.

# Starts totem-server on the demo database (created on first use) and sets SERVER_PORT and SERVER_PID.
start_demo_server() {
    mkdir -p "$DEMO"
    if [ ! -f "$DEMO/totem.db" ]; then
        echo "Creating the demo database in $DEMO/totem.db"
        "$BUILD/appserver/totem-server" --create-demo --database "$DEMO/totem.db" >/dev/null
    fi
    rm -f "$DEMO/server.log"
    "$BUILD/appserver/totem-server" --database "$DEMO/totem.db" --port "${TOTEM_SERVER_PORT:-0}" \
        >"$DEMO/server.log" 2>&1 &
    SERVER_PID=$!
    SERVER_PORT=
    for _ in $(seq 100); do
        SERVER_PORT=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$DEMO/server.log" | head -n1)
        [ -n "$SERVER_PORT" ] && break
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$SERVER_PORT" ]; then
        echo "totem-server did not start:" >&2; cat "$DEMO/server.log" >&2; return 1
    fi
    echo "totem-server listens on 127.0.0.1:$SERVER_PORT (log: $DEMO/server.log)"
}

stop_demo_server() {
    [ -n "${SERVER_PID:-}" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null || true
}

# The kiosk's registry key, kept in $TOTEM_REGISTRY_DIR so that a trial leaves /etc alone.
registry_file() { echo "$TOTEM_REGISTRY_DIR/QUENVOR/Strovel.ini"; }

registry_value() { sed -n "s/^$1=//p" "$(registry_file)" 2>/dev/null | head -n1; }

set_registry_value() {
    local file; file=$(registry_file)
    mkdir -p "$(dirname "$file")"
    [ -f "$file" ] || printf '[General]\n' >"$file"
    if grep -q "^$1=" "$file"; then
        sed -i "s|^$1=.*|$1=$2|" "$file"
    else
        sed -i "/^\[General\]/a $1=$2" "$file"
    fi
}
