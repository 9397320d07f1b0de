#!/usr/bin/env bash
# Starts a throwaway PostgreSQL server to try the demo host on a shared database by hand, and
# prints the URI to pass to --db. `bash scripts/pg-local.sh stop` stops it and removes its data.
set -euo pipefail
cd "$(dirname "$0")/.."
state=${PG_LOCAL_STATE:-/tmp/creditdata-pg-local.state}
case "${1:-start}" in
  start)
    bash tests/pg/pgcluster.sh start "$state" >/dev/null
    # shellcheck disable=SC1090
    . "$state"
    echo "$PGTEST_URI"
    ;;
  stop) bash tests/pg/pgcluster.sh stop "$state" ;;
  *) echo "usage: $0 [start|stop]" >&2; exit 2 ;;
esac
