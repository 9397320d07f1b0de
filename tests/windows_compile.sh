#!/usr/bin/env bash
# The plug-in as the client's Windows build reads it: every source of panel/, detail/, upload/ and
# common/ and every header of host/include, compiled (syntax only) by mingw-w64 against Qt 5's,
# Boost's and log4cxx's headers, with <winsock2.h> and <windows.h> included first, as the client's
# networking header brings them in: Windows' macros (min, max, ERROR, interface, near, far, small,
# DELETE, ...) are in force. The export headers are generated for Windows by CMake with the same
# compiler, and the plug-in's must export with __declspec(dllexport).
# Installs the cross compiler when it is missing; exits 77 (skipped) only where it cannot.
#
#   tests/windows_compile.sh [SOURCE_DIR] [WORK_DIR]
set -uo pipefail
src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work" && work=$(cd "$work" && pwd) || exit 1
start=$SECONDS
package=g++-mingw-w64-x86-64-posix
cxx=x86_64-w64-mingw32-g++-posix

if ! command -v $cxx >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
  echo "Installing $package"
  apt_log=$(mktemp)
  { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
      --no-install-recommends $package; } >"$apt_log" 2>&1 || true
  if ! command -v $cxx >/dev/null; then
    echo "SKIPPED: the Windows cross compiler ($package) is not installed and could not be installed here:"
    tail -n 3 "$apt_log"
    exit 77
  fi
fi

rm -rf "$work/gen" "$work/sys" "$work/exports" "$work/log" "$work/prelude.h" "$work/flags"
mkdir -p "$work/gen" "$work/sys" "$work/exports" "$work/log" || exit 1

# The export headers as the Windows build generates them (the base names are those of
# host/CMakeLists.txt and panel/CMakeLists.txt).
cat >"$work/exports/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(exports CXX)
include(GenerateExportHeader)
file(WRITE \${CMAKE_BINARY_DIR}/empty.cpp "")
add_library(voprhost SHARED \${CMAKE_BINARY_DIR}/empty.cpp)
generate_export_header(voprhost BASE_NAME host EXPORT_FILE_NAME $work/gen/host_export.h)
add_library(creditdata MODULE \${CMAKE_BINARY_DIR}/empty.cpp)
generate_export_header(creditdata BASE_NAME creditdata EXPORT_FILE_NAME $work/gen/panel/creditdata_export.h)
CMAKE
if ! cmake -S "$work/exports" -B "$work/exports/build" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_CXX_COMPILER=$cxx >"$work/log/exports.log" 2>&1; then
  echo "FAILED: generating the Windows export headers"; tail -n 20 "$work/log/exports.log"; exit 1
fi

# Only the third-party folders the client offers; the Linux system headers stay out of reach.
qt=$(pkg-config --variable=includedir Qt5Core 2>/dev/null)
if [ -z "$qt" ] || [ ! -d "$qt/QtCore" ] || ! pkg-config --exists liblog4cxx || [ ! -d /usr/include/boost ]; then
  echo "FAILED: Qt 5's, Boost's or log4cxx's headers are not installed (scripts/setup.sh --packages-only installs them)"
  exit 1
fi
ln -s "$(pkg-config --variable=includedir liblog4cxx)/log4cxx" "$work/sys/log4cxx"
ln -s /usr/include/boost "$work/sys/boost"
std_headers="algorithm any array atomic bitset cassert cctype cerrno cfloat charconv chrono cinttypes
  climits clocale cmath codecvt complex condition_variable cstdarg cstddef cstdint cstdio cstdlib
  cstring ctime cwchar deque exception filesystem forward_list fstream functional future
  initializer_list iomanip ios iosfwd iostream istream iterator limits list locale map memory
  memory_resource mutex new numeric optional ostream queue random ratio regex set shared_mutex
  sstream stack stdexcept streambuf string string_view system_error thread tuple type_traits
  typeindex typeinfo unordered_map unordered_set utility valarray variant vector"
{
  printf '#include <winsock2.h>\n#include <windows.h>\n'
  echo "// MSVC's standard library is written to survive the macros below and libstdc++ is not, so its"
  echo "// headers are read first, standing in for MSVC's."
  for h in $std_headers; do printf '#include <%s>\n' "$h"; done
  cat <<'MACROS'
// What MSVC's <windows.h> defines and MinGW's leaves out: small (from <rpcndr.h>, through
// <ole2.h>) and, in C++ as in C, min and max (MinGW's C++ library asks for NOMINMAX; the client
// does not).
#ifndef small
#define small char
#endif
#undef min
#undef max
#define max(a, b) (((a) > (b)) ? (a) : (b))
#define min(a, b) (((a) < (b)) ? (a) : (b))
MACROS
} >"$work/prelude.h"
flags=(-fsyntax-only -std=c++17 -include "$work/prelude.h"
  # log4cxx's headers, configured for Linux, take _WIN32 to mean MSVC and use its __pragma
  # operator for warning pragmas; MinGW's compiler has no such operator, and the pragmas only
  # silence an MSVC warning.
  '-D__pragma(x)='
  -Dcreditdata_EXPORTS -I"$src" -I"$src/host/include" -I"$work/gen"
  -isystem "$work/sys" -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets")

# Read once: the standard, Windows and nothing else, as every file begins.
pch_flags=()
for flag in "${flags[@]}"; do
  case $flag in -fsyntax-only | -include | "$work/prelude.h") ;; *) pch_flags+=("$flag") ;; esac
done
$cxx "${pch_flags[@]}" -x c++-header "$work/prelude.h" -o "$work/prelude.h.gch" >"$work/log/prelude.log" 2>&1 ||
  { echo "FAILED: the Windows prelude does not compile"; head -n 20 "$work/log/prelude.log"; exit 1; }

failed=0
# The check means nothing unless the macros it guards against are in force.
probe='#if !defined(min) || !defined(max) || !defined(ERROR) || !defined(interface) || !defined(near) || !defined(far) || !defined(small) || !defined(DELETE)
#error the Windows headers did not define their macros
#endif'
if ! printf '%s\n' "$probe" | $cxx "${flags[@]}" -x c++ - >"$work/log/probe.log" 2>&1; then
  echo "FAILED: the prelude does not bring in Windows' macros"; cat "$work/log/probe.log"; failed=1
fi
export_macro=$(printf '#include "panel/creditdata_export.h"\n' |
  $cxx -E -dM "${flags[@]/-fsyntax-only/}" -x c++ - 2>&1 | grep -E '^#define CREDITDATA_EXPORT ')
if [ "$export_macro" != "#define CREDITDATA_EXPORT __declspec(dllexport)" ]; then
  echo "FAILED: the plug-in's export macro is not __declspec(dllexport) on Windows: ${export_macro:-undefined}"
  failed=1
fi

files=()
for folder in panel detail upload common; do
  for f in "$src/$folder"/*.cpp "$src/$folder"/*.h; do [ -e "$f" ] && files+=("${f#$src/}"); done
done
for f in "$src/host/include"/*.h; do files+=("${f#$src/}"); done

# One compiler a core; each file's errors go to its own log, and a failing file prints its name.
printf '%s\0' "${flags[@]}" >"$work/flags"
compile() {
  local log="$work/log/${1//\//_}.log" flags=()
  mapfile -d '' flags <"$work/flags"
  $cxx "${flags[@]}" -x c++ "$src/$1" >"$log" 2>&1 || echo "$1"
}
export -f compile
export cxx src work
broken=$(printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} bash -c 'compile "$1"' _ {})
for f in $broken; do
  echo "FAILED: $f does not compile for Windows:"
  grep -E 'error' "$work/log/${f//\//_}.log" | head -n 5 | sed "s|$src/||; s/^/    /"
  failed=1
done
echo "${#files[@]} files compiled for Windows by $cxx in $((SECONDS - start)) s"
[ $failed -eq 0 ] && echo "Every file compiles for Windows" || exit 1
