#!/usr/bin/env bash
# Builds the tests with sanitizers and runs them; non-zero on any report.
#   bash scripts/sanitize.sh asan   # AddressSanitizer + UBSan (+ leaks), every test, in build-asan/
#   bash scripts/sanitize.sh tsan   # ThreadSanitizer, the tests that cross threads, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:?usage: scripts/sanitize.sh asan|tsan}
bash scripts/setup.sh --packages-only --tests

# Debug info need not name the build folder: a rebuilt folder still hits the cache.
export CCACHE_NOHASHDIR=1
supp=$PWD/scripts/sanitizers
# -O1 -g1: a third faster to build than -O2 -g and still exact stack traces.
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")

case "$mode" in
asan)
  build_dir=build-asan
  cmake -S . -B "$build_dir" "${flags[@]}" -DSANITIZE=address,undefined >/dev/null
  cmake --build "$build_dir" -j"$(nproc)"
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:suppressions=$supp/asan.supp
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$supp/lsan.supp:print_suppressions=0
  # Left to the plain build: what they judge is the C library's heap (its settings, memory handed
  # back), which ASan's allocator replaces, and programs under an address-space limit, which ASan's
  # shadow memory cannot be reserved under.
  tests=(-E '^(tst_processheap|tst_heaptrimmer|tst_programends)$')
  ;;
tsan)
  build_dir=build-tsan
  # The tests whose code crosses threads: every test on the service worker (a scripted, embedded
  # or PostgreSQL service, the panel, the detail and upload dialogs, logging from both threads),
  # queued delivery, the upload dialog's reader thread, message boxes and workbooks read off the
  # GUI thread, a large XML part parsed beside its inflating, the preview tool waiting for the
  # client centre's answers.
  targets=(tst_clientcenter tst_serviceworker tst_embeddeddataservice
           tst_postgresdataservice tst_databasefaults tst_logging tst_eventdelivery tst_dialogs
           tst_workbookreaders tst_xmlpartparser tst_creditdatasendfiledialog tst_creditdataquerydialog
           tst_creditdatapanel tst_creditdatapreview)
  cmake -S . -B "$build_dir" "${flags[@]}" -DSANITIZE=thread >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"
  # Qt is not built with ThreadSanitizer: accesses made inside its libraries (the queued-signal
  # arguments and event lists it guards with futex locks TSan cannot see) are not judged.
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$supp/tsan.supp:print_suppressions=0
  # The embedded service's cases run again on PostgreSQL under their own name.
  pattern=$(IFS='|'; echo "^(${targets[*]}|tst_embeddeddataservice_pg)\$")
  tests=(-R "$pattern")
  ;;
*)
  echo "usage: scripts/sanitize.sh asan|tsan" >&2
  exit 2
  ;;
esac

QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" "${tests[@]}"
