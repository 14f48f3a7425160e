#!/usr/bin/env bash
# Sourced by the test command: starts a throw-away PostgreSQL cluster on loopback when the
# server packages are installed, and sets ACC00420_TEST_PG_URL so the ledger tests run against
# it as well as SQLite. The cluster is stopped and removed when the calling shell exits.

pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$pg_bin" ] || [ ! -x "$pg_bin/initdb" ]; then
  echo "test: PostgreSQL server not installed; the ledger tests run on SQLite only"
  return 0
fi

pg_dir=$(mktemp -d /tmp/acc00420-pg.XXXXXX)
pg_port=$(( 20000 + RANDOM % 20000 ))
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  # initdb refuses to run as root.
  chown postgres "$pg_dir"
  as_owner=(runuser -u postgres --)
fi

"${as_owner[@]}" "$pg_bin/initdb" -D "$pg_dir/data" -U postgres -A trust --no-sync -E UTF8 >"$pg_dir/initdb.log" 2>&1 \
  || { cat "$pg_dir/initdb.log"; return 1; }
"${as_owner[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w \
  -o "-k $pg_dir -c listen_addresses=127.0.0.1 -p $pg_port -c fsync=off -c synchronous_commit=off" start >/dev/null \
  || { cat "$pg_dir/server.log"; return 1; }

stop_throwaway_pg() {
  "${as_owner[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate stop >/dev/null 2>&1
  rm -rf "$pg_dir"
}
trap stop_throwaway_pg EXIT

export ACC00420_TEST_PG_URL="postgresql://postgres@127.0.0.1:$pg_port/postgres"
echo "test: throw-away PostgreSQL on 127.0.0.1:$pg_port"
