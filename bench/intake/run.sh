#!/bin/sh
# Data intake against the demo generator. The large demo network is exported to CSV files, then imported into
# an empty SQLite file and an empty PostgreSQL database; the generator writes the same network into each,
# for its own insert rate. The small network's import gives the peak memory the large one's is held to.
# Usage: bench/intake/run.sh <build dir> <work dir>
#   The work dir's large network (large.db, the "large" database of its running cluster) must be there:
#   bench/run-all.sh makes them. Prints a Markdown table, then the figures the report's targets need.
set -eu
bench_dir=$(dirname "$(dirname "$(realpath "$0")")")
. "$bench_dir/lib.sh"
server="$1/appserver/totem-server"
work=$2
today=$(cat "$work/large.today")
dir="$work/intake"
rm -rf "$dir"
mkdir -p "$dir"

# Runs totem-server with the arguments; sets seconds and peak (MB of resident memory at most).
measure() {
    /usr/bin/time -f "%e %M" -o "$dir/time" "$server" "$@" > "$dir/out" 2> "$dir/err" || {
        cat "$dir/out" "$dir/err" >&2
        exit 1
    }
    seconds=$(cut -d' ' -f1 "$dir/time")
    peak=$(awk '{ printf "%.0f", $2 / 1024 }' "$dir/time")
}

# Data rows of the exported files: the rows an import writes and the generator makes.
rows_of() {
    cat "$1"/*.csv | wc -l | awk -v files="$(ls "$1"/*.csv | wc -l)" '{ print $1 - files }'
}

fresh_postgres() {
    as_postgres "$pg_bin/dropdb" -h 127.0.0.1 -p "$pg_port" -U totem --if-exists "$1"
    as_postgres "$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U totem "$1"
}

row() {
    awk -v what="$1" -v engine="$2" -v rows="$3" -v s="$seconds" -v peak="$peak" \
        'BEGIN { printf "| %s | %s | %d | %.1f | %.0f | %d |\n", what, engine, rows, s, rows / s, peak }'
    echo "$1|$2|$3|$seconds|$peak" >> "$dir/figures"
}

echo "| step | engine | rows | seconds | rows/s | peak MB |"
echo "|---|---|---|---|---|---|"
measure export "$dir/large" --database "$work/large.db"
rows=$(rows_of "$dir/large")
row "export" SQLite "$rows"

measure --create-demo --size large --today "$today" --database "$dir/generated.db"
row "demo generator" SQLite "$rows"
rm -f "$dir/generated.db"*
measure import "$dir/large" --database "$dir/imported.db"
row "import" SQLite "$rows"

fresh_postgres intake_generated
measure --create-demo --size large --today "$today" --database "$(pg_url intake_generated)"
row "demo generator" PostgreSQL "$rows"
as_postgres "$pg_bin/dropdb" -h 127.0.0.1 -p "$pg_port" -U totem intake_generated
fresh_postgres intake_imported
measure import "$dir/large" --database "$(pg_url intake_imported)"
row "import" PostgreSQL "$rows"

# The round trip at scale: the imported network gives back the same files.
measure export "$dir/again" --database "$(pg_url intake_imported)"
row "export" PostgreSQL "$rows"
as_postgres "$pg_bin/dropdb" -h 127.0.0.1 -p "$pg_port" -U totem intake_imported
if diff -rq "$dir/large" "$dir/again" > /dev/null; then same=yes; else same=no; fi
rm -rf "$dir/again" "$dir/imported.db"*

measure --create-demo --today "$today" --database "$dir/small.db"
measure export "$dir/small" --database "$dir/small.db"
small_rows=$(rows_of "$dir/small")
measure import "$dir/small" --database "$dir/small-imported.db"
row "import, small network" SQLite "$small_rows"
fresh_postgres intake_small
measure import "$dir/small" --database "$(pg_url intake_small)"
row "import, small network" PostgreSQL "$small_rows"
as_postgres "$pg_bin/dropdb" -h 127.0.0.1 -p "$pg_port" -U totem intake_small
rm -rf "$dir/small" "$dir/large" "$dir"/small*.db*

echo
echo "Large files: $(du -sm "$work/large.db" | cut -f1) MB of SQLite exported; the PostgreSQL import's export identical to the files: $same."
