#!/usr/bin/env bash
# Runs every benchmark program once at its smallest size, so that they keep building and running;
# the numbers mean nothing here. Used by CI after the tests; well under a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${BUILD_DIR:-build}/bin"
export QT_QPA_PLATFORM=offscreen
once=(--benchmark_min_time=0.01 --benchmark_format=console)
run() { # run PROGRAM [ARGS...]
    echo "== $*"
    local start=$SECONDS
    "$bin/$@" "${once[@]}" >/dev/null
    echo "   ok ($((SECONDS - start)) s)"
}
run upload_path_bench --benchmark_filter='(csv|xlsx|BuildRequest)/1000(/|$)'
run summary_bench --benchmark_filter='/10000/200$'
run service_bench
run table_bench
run table_peers_bench --rows 2000
run uploadchanges_bench --benchmark_filter='rows:1000/'
run history_bench --brokers 3 --uploads 2 --rows 20
run upload_memory_bench --uploads 2 --rows 1000
echo "bench smoke: all passed"
