#!/usr/bin/env bash
# Builds and runs the demo client with the credit data panel on the embedded data service.
# Without a display it runs offscreen and saves a screenshot (path printed), then exits.
# Extra arguments go to the demo client (see: build/bin/demohost --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build_dir=${BUILD_DIR:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
  exec "$build_dir/bin/demohost" --screenshot "$build_dir/screenshot.png" "$@"
fi
exec "$build_dir/bin/demohost" "$@"
