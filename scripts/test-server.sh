#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests, from Debian's postgresql package, on the loopback
# interface only, with its data in a temporary folder.
#   test-server.sh start DIR   starts it; prints the libpq connection string of its test database
#   test-server.sh stop DIR    stops it and removes DIR
set -euo pipefail

command=${1:-}
dir=${2:-}
[[ -n "$command" && -n "$dir" ]] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[[ -x "$bindir/initdb" ]] || { echo "$0: no PostgreSQL server installed" >&2; exit 1; }

# The server refuses to run as root: run it as the postgres user when we are root.
as_owner() {
  if [[ $(id -u) == 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case "$command" in
start)
  mkdir -p "$dir"
  [[ $(id -u) == 0 ]] && chown postgres: "$dir"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_owner "$bindir/initdb" -D "$dir/data" -U orvandel --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off" start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
  as_owner "$bindir/createdb" -h 127.0.0.1 -p "$port" -U orvandel orvandel_test
  echo "host=127.0.0.1 port=$port user=orvandel dbname=orvandel_test"
  ;;
stop)
  if [[ -d "$dir/data" ]]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
