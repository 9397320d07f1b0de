#!/usr/bin/env bash
# Fails when a C++ file is not as clang-format (.clang-format) writes it, naming each file.
#   scripts/check-format.sh            every tracked file
#   scripts/check-format.sh REV        the files changed since REV (e.g. origin/main)
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed (scripts/setup.sh installs it)"; exit 2; }
if [ $# -gt 0 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
[ ${#files[@]} -gt 0 ] || { echo "No C++ file to check"; exit 0; }
drifted=$(clang-format --dry-run "${files[@]}" 2>&1 | grep ': warning:' | cut -d: -f1 | sort -u)
if [ -n "$drifted" ]; then
  echo "Not formatted (clang-format -i FILE):"
  printf '    %s\n' $drifted
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
