#!/usr/bin/env bash
# Starts a throwaway PostgreSQL server to try the demo host on a shared database by hand, sets up
# its accounts with scripts/pg-roles.sql, and prints the URIs to pass to --db: the owner's on the
# first line (open it once: it creates the tables), then "uploader: URI" and "viewer: URI".
# `bash scripts/pg-local.sh stop` stops it and removes its data.
set -euo pipefail
cd "$(dirname "$0")/.."
state=${PG_LOCAL_STATE:-/tmp/creditdata-pg-local.state}
case "${1:-start}" in
  start)
    bash tests/pg/pgcluster.sh start "$state" >/dev/null
    # shellcheck disable=SC1090
    . "$state"
    /usr/lib/postgresql/15/bin/psql -h "$PGTEST_DIR" -U postgres -d postgres -q -f scripts/pg-roles.sql \
      -v db=credit -v owner=credit -v owner_password=secret \
      -v uploader=credit_uploader -v uploader_password=upload \
      -v viewer=credit_viewer -v viewer_password=view >/dev/null
    echo "$PGTEST_URI"
    echo "uploader: postgresql://credit_uploader:upload@/credit?host=$PGTEST_DIR"
    echo "viewer: postgresql://credit_viewer:view@/credit?host=$PGTEST_DIR"
    ;;
  stop) bash tests/pg/pgcluster.sh stop "$state" ;;
  *) echo "usage: $0 [start|stop]" >&2; exit 2 ;;
esac
