#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests:
#   pgcluster.sh start|stop|restart|halt|resume|freeze|thaw STATEFILE
#   start    initdb into a new temporary folder, start the server on a Unix socket there only
#            (no TCP port to collide with anything), write the folder and the URIs into STATEFILE
#   stop     stop the server and remove its folder and STATEFILE (fine when nothing runs)
#   halt / resume / restart   stop or start the same server, keeping its data (for fault tests)
#   freeze / thaw   SIGSTOP / SIGCONT the server and every process of it, as a paused machine
# STATEFILE holds shell assignments: PGTEST_DIR, PGTEST_ADMIN_URI (superuser, no password),
# PGTEST_URI (a password user "credit" that owns database "credit").
# PGTEST_KEEP_DIR=FOLDER: start uses that folder instead of a new one, and keeps its data on stop
# (a benchmark's data made once); a folder that has data already is only started.
set -euo pipefail

bindir=${PG_BINDIR:-/usr/lib/postgresql/15/bin}
action=${1:?start|stop|restart|halt|resume}
state=${2:?state file}

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

pgctl() {
  # shellcheck disable=SC1090
  . "$state"
  case "$1" in
    start)
      as_owner "$bindir/pg_ctl" -D "$PGTEST_DIR/data" -l "$PGTEST_DIR/server.log" -w -t 60 \
        -o "-k $PGTEST_DIR -c listen_addresses='' $PGTEST_OPTIONS" start >/dev/null ;;
    stop)
      as_owner "$bindir/pg_ctl" -D "$PGTEST_DIR/data" -m "${2:-fast}" -w -t 60 stop >/dev/null ;;
  esac
}

# signal SIG: the server's postmaster and its children (backends and helpers).
signal() {
  # shellcheck disable=SC1090
  . "$state"
  local pid
  pid=$(head -n 1 "$PGTEST_DIR/data/postmaster.pid")
  # Children first on stop, so none runs on unwatched; the postmaster first on continue.
  if [ "$1" = STOP ]; then
    kill -STOP $(pgrep -P "$pid") "$pid"
  else
    kill -CONT "$pid" $(pgrep -P "$pid")
  fi
}

case "$action" in
  start)
    [ -f "$state" ] && "$0" stop "$state"
    fresh=1
    if [ -n "${PGTEST_KEEP_DIR:-}" ]; then
      dir=$PGTEST_KEEP_DIR
      mkdir -p "$dir"
      [ -f "$dir/data/PG_VERSION" ] && fresh=0
    else
      dir=$(mktemp -d /tmp/pgtest.XXXXXX)
    fi
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    if [ $fresh = 1 ]; then
      as_owner "$bindir/initdb" -D "$dir/data" -U postgres -E UTF8 --locale=C.UTF-8 \
        --auth-local=trust --auth-host=scram-sha-256 --no-sync >"$dir/initdb.log"
      # The superuser comes in over the socket without a password, everyone else needs one.
      cat >"$dir/data/pg_hba.conf" <<HBA
local all postgres trust
local all all scram-sha-256
HBA
    fi
    {
      echo "PGTEST_DIR=$dir"
      # Its data dies with the test run: no waiting for the disk (PGTEST_DURABLE=1 to keep fsync).
      if [ "${PGTEST_DURABLE:-0}" = 1 ]; then
        echo "PGTEST_OPTIONS=\"\""
      else
        echo "PGTEST_OPTIONS=\"-c fsync=off -c full_page_writes=off -c synchronous_commit=off\""
      fi
      echo "PGTEST_ADMIN_URI=postgresql://postgres@/postgres?host=$dir"
      echo "PGTEST_URI=postgresql://credit:secret@/credit?host=$dir"
    } >"$state"
    pgctl start
    [ $fresh = 1 ] && "$bindir/psql" -h "$dir" -U postgres -d postgres -q -v ON_ERROR_STOP=1 \
      -c "CREATE ROLE credit LOGIN CREATEDB PASSWORD 'secret'" -c "CREATE DATABASE credit OWNER credit"
    echo "PostgreSQL test server: $(grep PGTEST_URI= "$state" | cut -d= -f2-)"
    ;;
  stop)
    [ -f "$state" ] || exit 0
    # shellcheck disable=SC1090
    . "$state"
    # Kept data is shut down cleanly, so the next start need not replay its log.
    case "$PGTEST_DIR" in /tmp/pgtest.*) pgctl stop immediate || true ;; *) pgctl stop fast || true ;; esac
    case "$PGTEST_DIR" in /tmp/pgtest.*) rm -rf "$PGTEST_DIR" ;; esac
    rm -f "$state"
    ;;
  halt) pgctl stop ;;
  resume) pgctl start ;;
  restart) pgctl stop; pgctl start ;;
  freeze) signal STOP ;;
  thaw) signal CONT ;;
  *) echo "unknown action: $action" >&2; exit 2 ;;
esac
