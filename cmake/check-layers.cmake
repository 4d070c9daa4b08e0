# The one direction of includes, checked over the product's sources:
#
#   platform (interfaces) <- discovery <- search <- app <- ui (window logic) <- front ends
#
# The adapters (platform/posix, platform/win32) and the in-memory parts (platform/memory) sit
# beside the interfaces and are reached only by the front ends that assemble the real system.
# The core (discovery, search, app, ui) also includes no operating system or toolkit header.
#
#   cmake -DSOURCE_DIR=<tree> -P check-layers.cmake
# Fails with one line per wrong include: "<file> includes <header>".

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

# Folders that are layers, the more specific first.
set(_layers platform/posix platform/win32 platform/memory platform discovery search app
            ui/linux ui/cli ui/qt ui/win32 ui tests bench)

set(_core platform discovery search app ui)
set(_linux platform/posix platform/memory ${_core} ui/linux)
set(_allowed_platform platform)
set(_allowed_platform/posix platform platform/posix)
set(_allowed_platform/win32 platform platform/win32)
set(_allowed_platform/memory platform platform/memory)
set(_allowed_discovery platform discovery)
set(_allowed_search platform discovery search)
set(_allowed_app platform discovery search app)
set(_allowed_ui ${_core})
set(_allowed_ui/linux ${_linux})
set(_allowed_ui/cli ${_linux} ui/cli)
set(_allowed_ui/qt ${_linux} ui/qt)
set(_allowed_ui/win32 ${_core} platform/win32 ui/win32)

# System headers the interfaces and the core never include.
set(_system_in_adapters_only "^(windows|winsock2|wininet|winspool|commctrl|richedit)\\.h$|^Q|^curl/|^cups/|^avahi|^dbus/")

function(layer_of path out)
  foreach(_layer ${_layers})
    string(LENGTH "${_layer}/" _length)
    string(SUBSTRING "${path}" 0 ${_length} _head)
    if(_head STREQUAL "${_layer}/")
      # A header directly in the folder, or deeper only where no more specific layer matched.
      set(${out} ${_layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

set(_wrong "")
foreach(_top platform discovery search app ui)
  file(GLOB_RECURSE _files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${_top}/*.h ${SOURCE_DIR}/${_top}/*.cpp)
  foreach(_file ${_files})
    layer_of("${_file}" _from)
    file(STRINGS ${SOURCE_DIR}/${_file} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(_line ${_lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" _header "${_line}")
      if(_line MATCHES "include[ \t]*\"")
        layer_of("${_header}" _to)
        if(_to STREQUAL "")
          continue()  # generated files and headers of the folder's own build
        endif()
        if(NOT _to IN_LIST _allowed_${_from})
          list(APPEND _wrong "${_file} includes ${_header}")
        endif()
      elseif(_from IN_LIST _core AND _header MATCHES "${_system_in_adapters_only}")
        list(APPEND _wrong "${_file} includes ${_header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_wrong)
  list(JOIN _wrong "\n  " _text)
  message(FATAL_ERROR "Includes against the direction of the layers:\n  ${_text}")
endif()
