# The plug-in against the client it is built for: the client offers only its declared headers,
# and it is built with MSVC. Fails when
# - a source of panel/, detail/, upload/ or common/ does not compile against host/include alone
#   (plus Qt, Boost, log4cxx, the standard library and the generated export headers), with
#   -pedantic-errors: an include of the stand-in's own headers, an entry point only the stand-in
#   has, an extension the standard does not know;
# - the plug-in or host/include includes any other header (POSIX, glibc), calls a POSIX or glibc
#   function, uses a compiler builtin, or a compiler extension outside a compiler check
#   (#if defined(__GNUC__) and the like);
# - the built plug-in imports a record operation of the client's row base from the host: each
#   row type answers them itself, since the client's base has answers of its own.
#
#   cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -DCONFIG=<flags file> -P plugin_contract.cmake
#
# CONFIG sets CXX (the compiler), SYSTEM_INCLUDES (Qt, Boost, log4cxx), HOST_EXPORT_H and
# CREDITDATA_EXPORT_H (the generated export headers), NM and PLUGIN_MODULE (the built plug-in).
cmake_minimum_required(VERSION 3.25)
foreach(var SOURCE_DIR WORK_DIR CONFIG)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
include(${CONFIG})

set(plugin_folders panel detail upload common)
set(problems "")

# --- what the sources say ----------------------------------------------------------------------

# C++17 and C standard library headers; everything else must be the plug-in's own, the client's,
# Qt's, Boost's or log4cxx's.
set(standard_headers
  algorithm any array atomic bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes
  climits clocale cmath codecvt complex condition_variable csetjmp csignal cstdarg cstddef cstdint
  cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution filesystem
  forward_list fstream functional future initializer_list iomanip ios iosfwd iostream istream
  iterator limits list locale map memory memory_resource mutex new numeric optional ostream queue
  random ratio regex scoped_allocator set shared_mutex sstream stack stdexcept streambuf string
  string_view system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set
  utility valarray variant vector
  assert.h ctype.h errno.h fenv.h float.h inttypes.h limits.h locale.h math.h setjmp.h signal.h
  stdarg.h stddef.h stdint.h stdio.h stdlib.h string.h time.h uchar.h wchar.h wctype.h)
set(client_headers hostservice.h hosttoolkit.h hostworkbook.h host_export.h)

# Extensions that need a compiler check around them.
set(extensions __attribute__ __declspec __asm__ __asm asm __typeof__ __typeof typeof __extension__
  __int128 __restrict__ __restrict __forceinline __label__ __thread __PRETTY_FUNCTION__ __FUNCSIG__)
# POSIX and glibc calls (short names such as open or read are left to the header rule: they are
# also the names of members).
set(posix_calls mallopt malloc_trim malloc_stats malloc_info malloc_usable_size sbrk brk madvise
  posix_madvise mmap munmap mremap mprotect mlock munlock _Exit _exit fork vfork execv execve execvp
  execl execlp getpid getppid getuid geteuid sysconf usleep nanosleep dlopen dlsym dlclose dlerror
  posix_memalign memalign valloc pvalloc realpath mkstemp mkdtemp clock_gettime gettimeofday
  backtrace prctl syscall iconv_open iconv_close getauxval gnu_get_libc_version setenv unsetenv)
list(JOIN extensions "|" extension_names)
list(JOIN posix_calls "|" posix_names)

function(check_file path)
  file(RELATIVE_PATH where ${SOURCE_DIR} ${path})
  file(READ ${path} text)
  # One list entry per line; ';' and brackets would otherwise split or join entries.
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<open>" text "${text}")
  string(REPLACE "]" "<close>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(number 0)
  set(in_comment FALSE)
  set(guards "")      # one entry per open #if: 1 when it is a compiler check, else 0
  set(found "")
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    # Comments and literals say nothing about the code.
    if(in_comment)
      string(FIND "${line}" "*/" close)
      if(close EQUAL -1)
        continue()
      endif()
      math(EXPR close "${close} + 2")
      string(SUBSTRING "${line}" ${close} -1 line)
      set(in_comment FALSE)
    endif()
    if(NOT in_comment AND line MATCHES [=[^[ 	]*#[ 	]*include[ 	]*([<"])([^>"]+)[>"]]=])
      set(header ${CMAKE_MATCH_2})
      if(CMAKE_MATCH_1 STREQUAL "\"")
        string(REGEX MATCH "^(panel|detail|upload|common)/[A-Za-z0-9_]+\\.h$" own "${header}")
        if(NOT own AND NOT header IN_LIST client_headers)
          list(APPEND found "${where}:${number}: includes \"${header}\", which the client does not declare")
        endif()
      elseif(NOT header MATCHES "^(Q[A-Za-z0-9]*|Qt[A-Za-z]+/Q?[A-Za-z0-9]+|boost/.+|log4cxx/.+)$"
             AND NOT header IN_LIST standard_headers)
        list(APPEND found "${where}:${number}: includes <${header}>, neither standard nor Qt, Boost or log4cxx")
      endif()
    endif()
    string(REGEX REPLACE [=[\\.]=] "" line "${line}")
    string(REGEX REPLACE [=["[^"]*"]=] "\"\"" line "${line}")
    string(REGEX REPLACE [=['[^']*']=] "''" line "${line}")
    string(REGEX REPLACE [=[/\*.*\*/]=] " " line "${line}")
    string(REGEX REPLACE [=[//.*$]=] "" line "${line}")
    string(FIND "${line}" "/*" open)
    if(NOT open EQUAL -1)
      string(SUBSTRING "${line}" 0 ${open} line)
      set(in_comment TRUE)
    endif()

    # Where a compiler check encloses the line.
    if(line MATCHES [=[^[ 	]*#[ 	]*(if|ifdef|ifndef|elif)[ 	(]+(.*)$]=])
      set(directive ${CMAKE_MATCH_1})
      if(CMAKE_MATCH_2 MATCHES "__GNUC__|__clang__|_MSC_VER")
        set(guard 1)
      else()
        set(guard 0)
      endif()
      if(directive STREQUAL "elif")
        list(POP_BACK guards)
      endif()
      list(APPEND guards ${guard})
    elseif(line MATCHES [=[^[ 	]*#[ 	]*endif]=])
      list(POP_BACK guards)
    endif()
    list(FIND guards 1 guarded)

    if(line MATCHES "(^|[^A-Za-z0-9_])(__builtin_[A-Za-z0-9_]*)")
      list(APPEND found "${where}:${number}: compiler builtin ${CMAKE_MATCH_2}")
    endif()
    if(guarded EQUAL -1 AND line MATCHES "(^|[^A-Za-z0-9_])(${extension_names})([^A-Za-z0-9_]|$)")
      list(APPEND found "${where}:${number}: ${CMAKE_MATCH_2} outside a compiler check")
    endif()
    if(line MATCHES "^[ 	]*#[ 	]*pragma[ 	]+(GCC|clang)")
      if(guarded EQUAL -1)
        list(APPEND found "${where}:${number}: #pragma ${CMAKE_MATCH_1} outside a compiler check")
      endif()
    endif()
    if(line MATCHES "(^|[^A-Za-z0-9_])(${posix_names}|pthread_[a-z_]+)[ 	]*\\(")
      list(APPEND found "${where}:${number}: POSIX or glibc call ${CMAKE_MATCH_2}")
    endif()
  endforeach()
  set(problems "${problems};${found}" PARENT_SCOPE)
endfunction()

set(checked "")
foreach(folder IN LISTS plugin_folders)
  file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  list(APPEND checked ${files})
endforeach()
file(GLOB client_files ${SOURCE_DIR}/host/include/*.h)
foreach(path IN LISTS checked client_files)
  check_file(${path})
endforeach()

# --- what the compiler says --------------------------------------------------------------------

# A tree holding only the plug-in and the client's declarations: nothing else of the stand-in can
# be found from it.
set(tree ${WORK_DIR}/tree)
file(REMOVE_RECURSE ${tree})
foreach(folder IN LISTS plugin_folders)
  file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  file(COPY ${files} DESTINATION ${tree}/${folder})
endforeach()
file(COPY ${client_files} ${HOST_EXPORT_H} DESTINATION ${tree}/host/include)
file(COPY ${CREDITDATA_EXPORT_H} DESTINATION ${tree}/generated/panel)

set(flags -std=c++17 -fsyntax-only -pedantic-errors -fPIC -I${tree} -I${tree}/host/include
  -I${tree}/generated -DCREDITDATA_STATIC_DEFINE)
foreach(dir IN LISTS SYSTEM_INCLUDES)
  list(APPEND flags -isystem ${dir})
endforeach()
list(LENGTH checked count)
foreach(path IN LISTS checked)
  if(NOT path MATCHES "\\.cpp$")
    continue()
  endif()
  file(RELATIVE_PATH where ${SOURCE_DIR} ${path})
  execute_process(COMMAND ${CXX} ${flags} ${tree}/${where}
    RESULT_VARIABLE failed ERROR_VARIABLE output OUTPUT_VARIABLE output)
  if(failed)
    string(REGEX MATCHALL "[^\n]*error[^\n]*" errors "${output}")
    list(SUBLIST errors 0 5 errors)
    string(REPLACE "${tree}/" "" errors "${errors}")
    string(REPLACE ";" "\n    " errors "${errors}")
    list(APPEND problems "${where}: does not compile against the client's headers alone:\n    ${errors}")
  endif()
endforeach()

# --- what the built plug-in imports ------------------------------------------------------------

execute_process(COMMAND ${NM} -DC --undefined-only ${PLUGIN_MODULE}
  RESULT_VARIABLE failed OUTPUT_VARIABLE imports ERROR_VARIABLE nm_error)
if(failed)
  list(APPEND problems "${PLUGIN_MODULE}: nm failed: ${nm_error}")
endif()
string(REGEX MATCHALL
  "WB::IBaseHpfTableData::(getTextFromAll|getText|getInt|getDouble|getLonglong|getTextColor|getKey)\\("
  inherited "${imports}")
list(REMOVE_DUPLICATES inherited)
foreach(operation IN LISTS inherited)
  string(REPLACE "(" "" operation "${operation}")
  list(APPEND problems "the plug-in takes ${operation} from the host instead of answering it itself")
endforeach()

list(REMOVE_ITEM problems "")
if(problems)
  list(REMOVE_DUPLICATES problems)
  list(JOIN problems "\n  " text)
  string(REPLACE "<semicolon>" ";" text "${text}")
  string(REPLACE "<open>" "[" text "${text}")
  string(REPLACE "<close>" "]" text "${text}")
  message(FATAL_ERROR "The plug-in leaves the client's contract:\n  ${text}")
endif()
message(STATUS "${count} plug-in files keep to the client's contract")
