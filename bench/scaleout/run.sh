#!/bin/sh
# Several totem-server processes on one PostgreSQL behind nginx, all on loopback (see bench/REPORT.md).
# Usage: bench/scaleout/run.sh <build dir> <work dir> [small|large] [seconds] [kiosks]
# The build needs -DTOTEM_BENCH=ON (totem-server, totem-load); nginx comes from Debian's nginx-light.
# It starts the work dir's PostgreSQL cluster (made and loaded on first use; the large network takes about
# six minutes), then for 1, 2 and 3 servers runs simulated kiosks without pauses through nginx, each server
# held to a share of a core by a CPU cgroup of its own (where cgroups can be written): a table for each share
# in SERVER_CORES (default "0.25 0.15"), SERVER_WORKERS threads each (default 4). Then, uncapped, it kills one of three servers while kiosks with a
# person's pace consult, and counts what failed. Everything it starts is stopped on exit, the cgroups removed; nginx runs as the current user from a
# configuration in the work dir.
set -eu
build=$1
work=$(realpath "$2")
size=${3:-small}
seconds=${4:-15}
kiosks=${5:-64}
server_cores=${SERVER_CORES:-0.25 0.15}
# A server held to a fraction of a core gains nothing from many threads but more switching and more
# PostgreSQL back ends.
server_workers=${SERVER_WORKERS:-4}
bench_dir=$(dirname "$(dirname "$(realpath "$0")")")
. "$bench_dir/lib.sh"
server="$build/appserver/totem-server"
load="$build/bench/load/totem-load"
front_port=8400
run_dir="$work/scaleout"
mkdir -p "$run_dir/nginx"

server_pids=""
nginx_pid=""
stop_all() {
    for pid in $server_pids $nginx_pid; do kill "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    server_pids=""
    nginx_pid=""
}
trap 'stop_all; cpu_caps_remove; pg_stop "$work" || true' EXIT
capped=""
cpu_caps_usable && capped=1

pg_start "$work"
if [ "$size" = large ]; then
    database=large
    ensure_large_postgres "$server" "$work"
    today=$(cat "$work/large.today")
else
    database=small
    if [ ! -f "$work/pg/small.done" ]; then
        as_postgres "$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U totem small &&
            "$server" --create-demo --database "$(pg_url small)" --size small --today "$(date +%F)" &&
            date +%F > "$work/pg/small.done"
    fi
    today=$(cat "$work/pg/small.done")
fi

# <count> [share of a core per server]
start_servers() {
    for n in $(seq 1 "$1"); do
        start_server "$server" "$(pg_url "$database")" $((8400 + n)) "$run_dir/server$n.log" --workers "$server_workers"
        server_pids="$server_pids $server_pid"
        if [ -n "$capped" ] && [ -n "${2:-}" ]; then
            cpu_cap "server$n" "$server_pid" "$2"
        fi
    done
}

# A table of throughput for 1, 2 and 3 servers, each held to <share> of a core.
throughput() {
    echo "Throughput by number of servers: PostgreSQL, $size network, $kiosks kiosks without pauses, ${seconds} s each;"
    if [ -n "$capped" ]; then
        echo "each server held to $1 of a core by its own CPU cgroup (cpu.cfs_quota_us)."
    else
        echo "servers uncapped."
    fi
    echo
    echo "| servers | kiosks | threads | pauses | consultations | per second | p50 ms | p99 ms | failed | step lag p99 ms | CPU cores: load client | servers | PostgreSQL | nginx |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
    hz=$(getconf CLK_TCK)
    for count in 1 2 3; do
        start_servers "$count" "$1"
        start_front "$run_dir/nginx" "$front_port" $(seq 8401 $((8400 + count)))
        # Where the two cores went during the run, in core-seconds per second of the run.
        before="$(cpu_ticks $server_pids) $(cpu_ticks $(pg_pids "$work")) $(cpu_ticks $nginx_pid $(pgrep -P "$nginx_pid"))"
        row=$("$load" --kiosks "$kiosks" --threads "$kiosks" --think 0 --seconds "$seconds" --today "$today" \
            --server "127.0.0.1:$front_port" | sed -n 3p)
        after="$(cpu_ticks $server_pids) $(cpu_ticks $(pg_pids "$work")) $(cpu_ticks $nginx_pid $(pgrep -P "$nginx_pid"))"
        echo "$before $after" | awk -v row="$row" -v n="$count" -v s="$seconds" -v hz="$hz" \
            '{ printf "| %s %s %.2f | %.2f | %.2f |\n", n, row, ($4 - $1) / hz / s, ($5 - $2) / hz / s, ($6 - $3) / hz / s }'
        stop_all
    done
    echo
}

for share in $server_cores; do
    throughput "$share"
done
echo "CPU columns: cores kept busy on average during the run (the machine has $(nproc)), from /proc: the load client"
echo "itself, the totem-server processes, the PostgreSQL cluster's processes, nginx's."
echo

paced=$((kiosks * 4))
echo "One of three servers, uncapped, killed with SIGKILL after $((seconds / 2)) s: $paced kiosks at five times a person's pace"
echo "(a new consumer every 5 s on average at each kiosk), ${seconds} s:"
echo
start_servers 3
start_front "$run_dir/nginx" "$front_port" 8401 8402 8403
: > "$run_dir/nginx/access.log"
victim=$(echo $server_pids | cut -d' ' -f2)
(sleep $((seconds / 2)) && kill -9 "$victim") &
"$load" --kiosks "$paced" --threads 32 --think 0.2 --arrival 5 --seconds "$seconds" --today "$today" \
    --server "127.0.0.1:$front_port"
echo
echo "nginx: $(grep -c '" 502 ' "$run_dir/nginx/access.log" || true) answers 502 to kiosks; \
$(grep -c 'upstream' "$run_dir/nginx/error.log" || true) upstream errors logged, each call then sent to another server."
