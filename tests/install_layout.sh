#!/usr/bin/env bash
# The installed tree runs on its own: the plug-in module and the stand-in libraries under
# lib/creditdata resolve every library from the tree, and the installed preview tool reads an
# example file and, loading its data-service module from there, asks a database for changes.
#
#   tests/install_layout.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -uo pipefail
build=$1 src=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { echo "FAILED: cmake --install"; tail -n 20 "$work/install.log"; exit 1; }
failed=0
tool="$prefix/bin/creditdata-preview"
[ -x "$tool" ] || { echo "FAILED: no bin/creditdata-preview installed"; exit 1; }
libdir=$(dirname "$(find "$prefix" -name libcreditdata.so -print -quit)")
[ -n "$libdir" ] && [ "$libdir" != . ] || { echo "FAILED: the plug-in module was not installed"; exit 1; }
for f in "$tool" "$libdir"/*.so; do
  # Resolved from the build folder would mean the tree only runs where it was built.
  if ldd "$f" | grep -E "not found|$build/bin/" >"$work/ldd.log"; then
    echo "FAILED: $(basename "$f") does not resolve from the installed tree:"; cat "$work/ldd.log"; failed=1
  fi
done
# Away from the build, so that nothing is found beside it by chance.
cd "$work" || exit 1
out=$("$tool" "$src/examples/rates_utf8.csv" --count 2>&1)
case $out in
  *" used "*) ;;
  *) echo "FAILED: the installed tool did not read the example: $out"; failed=1 ;;
esac
out=$("$tool" "$src/examples/rates_utf8.csv" --changes --broker-id NOBROKER --db "$work/none.db" 2>&1)
case $out in
  *"cannot load"*) echo "FAILED: the installed tool did not load its data-service module: $out"; failed=1 ;;
esac
[ $failed -eq 0 ] && echo "The installed tree runs on its own"
exit $failed
