#!/bin/sh
# Load benchmark of totem-server on the large demo network (see bench/REPORT.md).
# Usage: bench/load/run.sh <build dir> <work dir> [clients] [seconds] [workers]
# The build needs -DCMAKE_BUILD_TYPE=Release -DTOTEM_BENCH=ON (targets totem-server and totem-load).
# The large database (about 1.6 GB, two minutes) is made once in the work dir and kept.
set -eu
build=$1
work=$2
clients=${3:-1,8,64}
seconds=${4:-10}
workers=${5:-16}
server="$build/appserver/totem-server"
load="$build/bench/load/totem-load"
database="$work/large.db"
today_file="$work/large.today"
port=8311

mkdir -p "$work"
if [ ! -f "$database" ]; then
    date +%F > "$today_file"
    "$server" --create-demo --database "$database" --size large --today "$(cat "$today_file")"
fi

# Every simulated kiosk comes from this one address: the consumer look-up limit would hold them back.
"$server" --database "$database" --port "$port" --workers "$workers" --lookup-rate 0 > "$work/access.log" 2> "$work/server.err" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
sleep 1

"$load" --database "$database" --today "$(cat "$today_file")" --server "127.0.0.1:$port" \
        --clients "$clients" --seconds "$seconds"
echo
sqlite3 "$database" < "$(dirname "$0")/plans.sql"
