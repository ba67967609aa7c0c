# Shell helpers shared by the benchmark scripts (sourced, POSIX sh).
# Callers set bench_dir (this folder) first.
# The work dir keeps what is slow to make: the large demo databases (SQLite file, PostgreSQL cluster).

pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
pg_port=55433

# Runs a PostgreSQL tool as the postgres user when root (initdb refuses root).
as_postgres() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# Starts the work dir's cluster on 127.0.0.1:$pg_port (made on first use); not a system service.
pg_start() {
    pg_dir="$1/pg"
    if [ ! -d "$pg_dir/data" ]; then
        mkdir -p "$pg_dir"
        [ "$(id -u)" = 0 ] && chown postgres: "$pg_dir"
        as_postgres "$pg_bin/initdb" -D "$pg_dir/data" -A trust -U totem -E UTF8 --no-locale --no-sync > /dev/null
    fi
    if as_postgres "$pg_bin/pg_ctl" -D "$pg_dir/data" status > /dev/null 2>&1; then
        return 0  # already running, and left running
    fi
    pg_started_here=1
    as_postgres "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/log" -w \
        -o "-c listen_addresses=127.0.0.1 -p $pg_port -k $pg_dir -c fsync=off -c shared_buffers=1GB -c max_connections=200" \
        start > /dev/null
}

# Stops the cluster if pg_start started it.
pg_stop() {
    [ -n "${pg_started_here:-}" ] || return 0
    as_postgres "$pg_bin/pg_ctl" -D "$1/pg/data" -m fast -w stop > /dev/null
}

pg_url() {
    echo "postgresql://totem@127.0.0.1:$pg_port/$1"
}

# The large demo network in the work dir: SQLite file and, when asked, a PostgreSQL database (running
# cluster). Its "today" is the day it was made, kept in large.today.
ensure_large_sqlite() {
    if [ ! -f "$2/large.db" ]; then
        date +%F > "$2/large.today"
        "$1" --create-demo --database "$2/large.db" --size large --today "$(cat "$2/large.today")"
    fi
}

ensure_large_postgres() {
    [ -f "$2/large.today" ] || date +%F > "$2/large.today"
    if [ ! -f "$2/pg/large.done" ]; then
        as_postgres "$pg_bin/dropdb" -h 127.0.0.1 -p "$pg_port" -U totem --if-exists large &&
            as_postgres "$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U totem large &&
            "$1" --create-demo --database "$(pg_url large)" --size large --today "$(cat "$2/large.today")" &&
            touch "$2/pg/large.done"
    fi
}

# Waits (up to 20 minutes) until the 1-minute load average is below 0.5, so that other work on the machine
# does not colour the figures; prints the load average it starts with.
wait_quiet() {
    tries=0
    while [ "$(awk '{print ($1 < 0.5)}' /proc/loadavg)" != 1 ] && [ $tries -lt 40 ]; do
        sleep 30
        tries=$((tries + 1))
    done
    printf '%s%s\n' "$(cut -d' ' -f1-3 /proc/loadavg)" \
        "$([ $tries -ge 40 ] && echo ' (still above 0.5 after 20 minutes of waiting: other work was running)')"
}

# Starts totem-server in the background on a port; its pid in $server_pid.
# Names here are prefixed: sh has no local variables, and callers have their own $server and $database.
start_server() {
    _server_bin=$1; _server_database=$2; _server_port=$3; _server_log=$4; shift 4
    # --lookup-rate 0: the load comes from one address, which the badge-enumeration limit would hold back.
    "$_server_bin" --database "$_server_database" --port "$_server_port" --lookup-rate 0 "$@" \
        > "$_server_log" 2> "$_server_log.err" &
    server_pid=$!
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        curl -sf "http://127.0.0.1:$_server_port/health" > /dev/null && return 0
        sleep 0.5
    done
    kill "$server_pid" 2> /dev/null || true
    echo "totem-server did not start on port $_server_port (see $_server_log.err)" >&2
    return 1
}

# Starts nginx (Debian's nginx-light) in the foreground of a background job, as the current user, with a
# configuration made from bench/scaleout/nginx.conf.in in <dir>: it listens on 127.0.0.1:<port> and spreads
# the calls over the servers on the given loopback ports. Its pid in $nginx_pid.
start_front() {
    _front_dir=$1; _front_port=$2; shift 2
    mkdir -p "$_front_dir"
    upstreams=""
    for upstream_port in "$@"; do
        upstreams="$upstreams        server 127.0.0.1:$upstream_port max_fails=1 fail_timeout=5s;\n"
    done
    user_line=""
    [ "$(id -u)" = 0 ] && user_line="user root;"
    sed -e "s|@UPSTREAMS@|$upstreams|" -e "s|@DIR@|$_front_dir|g" -e "s|@PORT@|$_front_port|" \
        -e "s|@USER@|$user_line|" "$bench_dir/scaleout/nginx.conf.in" > "$_front_dir/nginx.conf"
    nginx -p "$_front_dir" -c "$_front_dir/nginx.conf" -g 'daemon off;' &
    nginx_pid=$!
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        curl -s -o /dev/null "http://127.0.0.1:$_front_port/health" && return 0
        sleep 0.3
    done
    echo "nginx did not start (see $_front_dir/error.log)" >&2
    return 1
}

# CPU time (user + system, in clock ticks) used so far by the given processes, those gone excluded.
cpu_ticks() {
    for _pid in "$@"; do cat "/proc/$_pid/stat" 2> /dev/null; done | awk '{ t += $14 + $15 } END { print t + 0 }'
}

# The pids of the work dir's PostgreSQL cluster: its postmaster and every process it started.
pg_pids() {
    _postmaster=$(head -n 1 "$1/pg/data/postmaster.pid")
    echo "$_postmaster" $(pgrep -P "$_postmaster")
}

# CPU caps, one cgroup per process (the cgroup v1 cpu controller): <name> <pid> <cores, e.g. 0.25>. A machine
# where they cannot be made runs the processes without a cap; cpu_caps_usable says why, once, on stdout.
cpu_cgroups=/sys/fs/cgroup/cpu
cpu_caps_usable() {
    if [ ! -w "$cpu_cgroups" ] || ! mkdir "$cpu_cgroups/totem-bench-probe" 2> /dev/null; then
        echo "No CPU caps: $cpu_cgroups (the cgroup v1 cpu controller) cannot be written here; the servers run uncapped."
        return 1
    fi
    rmdir "$cpu_cgroups/totem-bench-probe"
}

cpu_cap() {
    _cap_dir="$cpu_cgroups/totem-bench-$1"
    mkdir -p "$_cap_dir"
    echo 100000 > "$_cap_dir/cpu.cfs_period_us"
    awk -v c="$3" 'BEGIN { printf "%d\n", c * 100000 }' > "$_cap_dir/cpu.cfs_quota_us"
    echo "$2" > "$_cap_dir/cgroup.procs"
}

# Removes the caps once their processes are gone.
cpu_caps_remove() {
    for _cap_dir in "$cpu_cgroups"/totem-bench-*; do
        [ -d "$_cap_dir" ] && rmdir "$_cap_dir" 2> /dev/null || true
    done
}
