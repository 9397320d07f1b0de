#!/usr/bin/env bash
# clang-tidy (.clang-tidy) over the plug-in's sources and their headers; fails on any finding.
#   scripts/tidy.sh [BUILD_DIR]    a build configured with CMAKE_EXPORT_COMPILE_COMMANDS=ON
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tidy}
command -v clang-tidy >/dev/null || { echo "clang-tidy is not installed (scripts/setup.sh installs it)"; exit 2; }
if [ ! -f "$build/compile_commands.json" ]; then
  # The generated headers (moc, exports) are needed before anything can be read.
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build "$build" -j"$(nproc)" --target creditdata >/dev/null || { echo "cannot configure $build"; exit 2; }
fi
log=$(mktemp)
git ls-files 'panel/*.cpp' 'detail/*.cpp' 'upload/*.cpp' 'common/*.cpp' |
  xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null
status=$?
grep -E ': (warning|error):' "$log" | sort -u
rm -f "$log"
[ $status -eq 0 ] && echo "clang-tidy: no finding in the plug-in" || { echo "clang-tidy found the above"; exit 1; }
