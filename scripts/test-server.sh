#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests, from Debian's postgresql package, on the loopback
# interface only, with its data in a temporary folder.
#   test-server.sh start DIR   starts it; prints the libpq connection string of its test database
#   test-server.sh stop DIR    stops it and removes DIR
#   test-server.sh halt DIR [fast|immediate]   stops it and keeps its data: a server gone away
#   test-server.sh resume DIR  starts it again after a halt, on the same port
set -euo pipefail

command=${1:-}
dir=${2:-}
usage="usage: $0 start|stop|halt|resume DIR"
[[ -n "$command" && -n "$dir" ]] || { echo "$usage" >&2; exit 2; }

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
[[ -x "$bindir/initdb" ]] || { echo "$0: no PostgreSQL server installed" >&2; exit 1; }

# The server refuses to run as root: run it as the postgres user when we are root.
as_owner() {
  if [[ $(id -u) == 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

start_server() {
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
}

case "$command" in
start)
  mkdir -p "$dir"
  [[ $(id -u) == 0 ]] && chown postgres: "$dir"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_owner "$bindir/initdb" -D "$dir/data" -U orvandel --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  # In the server's own settings rather than on its command line, so that a resume keeps the port.
  printf "%s\n" "listen_addresses = '127.0.0.1'" "port = $port" \
    "unix_socket_directories = '$dir'" "fsync = off" >>"$dir/data/postgresql.conf"
  start_server
  as_owner "$bindir/createdb" -h 127.0.0.1 -p "$port" -U orvandel orvandel_test
  echo "host=127.0.0.1 port=$port user=orvandel dbname=orvandel_test"
  ;;
stop)
  if [[ -d "$dir/data" ]]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  ;;
halt)
  # A server that is already going or gone (stopped from inside, by a test) is waited for.
  as_owner "$bindir/pg_ctl" -D "$dir/data" -m "${3:-fast}" -w -t 60 stop >/dev/null 2>&1 || true
  if as_owner "$bindir/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
    echo "$0: the server in $dir is still running" >&2
    exit 1
  fi
  ;;
resume)
  start_server
  ;;
*)
  echo "$usage" >&2
  exit 2
  ;;
esac
