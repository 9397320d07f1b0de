# Fails when the plug-in (panel/, detail/, upload/) includes anything of the stand-in client other
# than the client's contract: against the real client nothing else exists.
#   cmake -DSOURCE_DIR=<repository> -P plugin_includes.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR not set")
endif()

set(allowed hostservice.h hosttoolkit.h host_export.h)
file(GLOB_RECURSE host_headers RELATIVE ${SOURCE_DIR}/host ${SOURCE_DIR}/host/*.h ${SOURCE_DIR}/host/*.hpp)
set(host_names "")
foreach(header IN LISTS host_headers)
  get_filename_component(name ${header} NAME)
  list(APPEND host_names ${name})
endforeach()
list(REMOVE_ITEM host_names ${allowed})

file(GLOB_RECURSE plugin_files
  ${SOURCE_DIR}/panel/*.h ${SOURCE_DIR}/panel/*.cpp
  ${SOURCE_DIR}/detail/*.h ${SOURCE_DIR}/detail/*.cpp
  ${SOURCE_DIR}/upload/*.h ${SOURCE_DIR}/upload/*.cpp)

set(bad "")
foreach(file IN LISTS plugin_files)
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" path "${line}")
    get_filename_component(name "${path}" NAME)
    # A path into host/ or the name of one of its private headers, however it is reached.
    if(path MATCHES "(^|/)host/" OR name IN_LIST host_names)
      file(RELATIVE_PATH where ${SOURCE_DIR} ${file})
      list(APPEND bad "${where}: ${path}")
    endif()
  endforeach()
endforeach()

if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "The plug-in includes the stand-in client beyond its contract "
                      "(only ${allowed} are allowed):\n  ${text}")
endif()
list(LENGTH plugin_files count)
message(STATUS "${count} plug-in files include only the client's contract")
