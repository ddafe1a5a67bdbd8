#!/usr/bin/env bash
# A throwaway PostgreSQL 15 cluster for the store's tests, from Debian's
# postgresql package: initdb and pg_ctl in a scratch folder, listening on a
# free loopback port only, trusting local connections, removed when stopped.
#
#   tools/pg-test-cluster.sh start DIR   starts it; DIR/uri then holds the
#                                        URI the tests connect to, or, where
#                                        it cannot start, DIR/reason says why
#                                        (exit 0, so the tests skip with that
#                                        reason; exit 1 when CI=true)
#   tools/pg-test-cluster.sh stop DIR    stops it and removes its files
#   tools/pg-test-cluster.sh run CMD...  starts one, runs CMD with
#                                        TESSOLO_PG_TEST_URI set, stops it
#
# PostgreSQL refuses to run as root; as root the cluster runs as the
# postgres user (or nobody) in a folder that user owns.
set -uo pipefail

PGBIN=${PGBIN:-/usr/lib/postgresql/15/bin}

fail() {
  mkdir -p "$DIR"
  echo "$*" >"$DIR/reason"
  rm -f "$DIR/uri"
  echo "pg-test-cluster: $*" >&2
  if [[ "${CI:-}" == "true" ]]; then
    exit 1
  fi
  exit 0
}

as_owner() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u "$OWNER" -- "$@"
  else
    "$@"
  fi
}

free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

start() {
  rm -rf "$DIR"
  mkdir -p "$DIR"
  [[ -x "$PGBIN/initdb" && -x "$PGBIN/pg_ctl" ]] || fail "PostgreSQL 15 is not installed ($PGBIN/initdb missing): apt install postgresql"
  OWNER=$(id -un)
  if [[ $(id -u) -eq 0 ]]; then
    if getent passwd postgres >/dev/null; then OWNER=postgres; else OWNER=nobody; fi
  fi
  # The data lives in a folder of its own that the owner can write, also
  # when DIR lies under a tree only root may enter.
  local data
  data=$(mktemp -d /tmp/tessolo-pg.XXXXXX) || fail "no scratch folder"
  chmod 700 "$data"
  [[ $(id -u) -eq 0 ]] && chown "$OWNER" "$data"
  echo "$data" >"$DIR/data"
  local port
  port=$(free_port) || fail "no free port on 127.0.0.1"
  as_owner "$PGBIN/initdb" -D "$data/cluster" -U tessolo --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$data/initdb.log" 2>&1 || fail "initdb failed: $(tail -3 "$data/initdb.log" | tr '\n' ' ')"
  as_owner "$PGBIN/pg_ctl" -D "$data/cluster" -l "$data/server.log" -w -t 30 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$data -c fsync=off -c max_connections=200" \
    start >/dev/null 2>&1 || fail "the server did not start: $(tail -3 "$data/server.log" 2>/dev/null | tr '\n' ' ')"
  "$PGBIN/createdb" -h 127.0.0.1 -p "$port" -U tessolo tessolo_test 2>"$data/createdb.log" \
    || fail "createdb failed: $(cat "$data/createdb.log")"
  echo "postgresql://tessolo@127.0.0.1:$port/tessolo_test" >"$DIR/uri"
  rm -f "$DIR/reason"
}

stop() {
  [[ -f "$DIR/data" ]] || return 0
  local data
  data=$(cat "$DIR/data")
  OWNER=$(stat -c %U "$data" 2>/dev/null || id -un)
  if [[ -d "$data/cluster" ]]; then
    as_owner "$PGBIN/pg_ctl" -D "$data/cluster" -m immediate -w stop >/dev/null 2>&1
  fi
  rm -rf "$data"
  rm -f "$DIR/uri" "$DIR/data"
}

case "${1:-}" in
start)
  DIR=${2:?folder}
  start
  ;;
stop)
  DIR=${2:?folder}
  stop
  ;;
run)
  shift
  DIR=$(mktemp -d)
  trap 'stop; rm -rf "$DIR"' EXIT
  start
  if [[ -f "$DIR/uri" ]]; then
    TESSOLO_PG_TEST_URI=$(cat "$DIR/uri")
    export TESSOLO_PG_TEST_URI
  fi
  "$@"
  ;;
*)
  echo "usage: $0 start DIR | stop DIR | run CMD..." >&2
  exit 2
  ;;
esac
