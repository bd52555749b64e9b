#!/usr/bin/env bash
# `make bench-league`: rvleaguebench on a fresh SQLite file and on a private PostgreSQL cluster
# started here (initdb in a temp folder, as the postgres user when run as root), stopped at the
# end. Usage: league-bench.sh BUILD_DIR EVENTS OUT_FILE
set -euo pipefail
build=$1 events=$2 out=$3
bin=/usr/lib/postgresql/15/bin
work=$(mktemp -d /tmp/rvleague-bench-XXXXXX)
chmod 0777 "$work"
as_pg=()
if [ "$(id -u)" -eq 0 ]; then as_pg=(runuser -u postgres --); fi
port=$((20000 + RANDOM % 20000))
cleanup() {
    "${as_pg[@]}" "$bin/pg_ctl" -D "$work/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
"${as_pg[@]}" "$bin/initdb" -D "$work/data" -A trust -U postgres --no-sync >/dev/null
"${as_pg[@]}" "$bin/pg_ctl" -D "$work/data" -w -l "$work/server.log" \
    -o "-p $port -k $work -c listen_addresses=''" start >/dev/null
"${as_pg[@]}" "$bin/psql" -h "$work" -p "$port" -U postgres -qc "CREATE DATABASE bench"
"$build/rvleaguebench" --events "$events" --db "sqlite:$work/bench.db" \
    --db "postgresql://postgres@/bench?host=$work&port=$port" --out "$out"
