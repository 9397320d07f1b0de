#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, in build-fuzz/) and runs each for a bounded time from its
# seed corpus in fuzz/corpus/; non-zero on any crash, leak, timeout or out-of-memory.
#   bash scripts/fuzz.sh                # every target, FUZZ_SECONDS (default 60) each
#   bash scripts/fuzz.sh fuzz_csv       # one target
# A failing input is left in build-fuzz/artifacts/<target>/: keep it in tests/upload/regressions/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
targets=(fuzz_csv fuzz_xlsx fuzz_xls fuzz_xmlpart fuzz_cfb fuzz_tableconfig)
[ $# -gt 0 ] && targets=("$@")
bash scripts/setup.sh --packages-only

# Debug info need not name the build folder: a rebuilt folder still hits the cache.
export CCACHE_NOHASHDIR=1
build_dir=build-fuzz
cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DSANITIZE=address,undefined -DFUZZ=ON >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:suppressions=$PWD/scripts/sanitizers/asan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/sanitizers/lsan.supp:print_suppressions=0
export QT_QPA_PLATFORM=offscreen
failed=()
for target in "${targets[@]}"; do
  corpus=$build_dir/corpus/$target
  artifacts=$build_dir/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  # Workbook targets get their format's tokens and room for a styled workbook (the largest seed
  # is a 50 KB .xls); libFuzzer would otherwise stop growing inputs at the largest seed's size.
  options=()
  case $target in
    fuzz_xlsx | fuzz_xmlpart) options=(-dict=fuzz/ooxml.dict -max_len=65536) ;;
    fuzz_xls | fuzz_cfb) options=(-dict=fuzz/biff.dict -max_len=65536) ;;
  esac
  echo "== $target: ${seconds}s"
  set +e
  # New inputs go to the build folder's corpus; the seeds in fuzz/corpus/ stay as kept.
  "$build_dir/bin/$target" "${options[@]}" -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "fuzz/corpus/$target" >"$build_dir/$target.log" 2>&1
  rc=$?
  set -e
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^SUMMARY|^==[0-9]+==ERROR|DEADLYSIGNAL|Test unit written" \
    "$build_dir/$target.log" || true
  if [ $rc -ne 0 ]; then
    tail -n 60 "$build_dir/$target.log"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: ${#targets[@]} targets, no failure"
