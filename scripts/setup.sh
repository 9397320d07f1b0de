#!/usr/bin/env bash
# Installs what the build needs (Debian 12) and builds everything into build/.
# Fast when all is there: it only asks apt for packages that are missing.
# --packages-only: install and stop (the sanitizer and fuzz scripts build their own folders).
# --tests: also what only the tests use (LibreOffice, the spreadsheet some readings are held against).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make pkg-config ccache
  qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite
  libqt5sql5-psql libpq-dev postgresql sqlite3 libsqlite3-dev
  libboost-thread-dev liblog4cxx-dev zlib1g-dev libexpat1-dev libssl-dev openssl
  libbenchmark-dev fonts-wqy-microhei
  clang libclang-rt-14-dev clang-format clang-tidy
  python3-openpyxl python3-xlrd)
packages_only=0
for arg in "$@"; do
  case "$arg" in
  --packages-only) packages_only=1 ;;
  --tests) packages+=(libreoffice-calc-nogui) ;;
  *) echo "usage: scripts/setup.sh [--packages-only] [--tests]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$packages_only" -eq 1 ] && exit 0

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
