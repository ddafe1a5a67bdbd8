# Fails when a source file includes a header of a folder above its own.
# The layers, from the top: app/ -> the window folders -> customer/, ui/ ->
# data/, text/, postal/. A folder may include its own layer and every layer
# below it. A window folder includes another window folder only to open that
# window, so only its window header (frm*.h) may be named.
#
#   cmake -DROOT=<source tree> -P checklayers.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  message(FATAL_ERROR "checklayers: ROOT is not set")
endif()

set(core_folders data text postal)
set(window_folders roster picker company csvimport atena backup)
foreach(c IN LISTS core_folders)
  set(allowed_${c} ${core_folders})
endforeach()
set(allowed_customer customer ${core_folders})
set(allowed_ui ui ${core_folders})
foreach(w IN LISTS window_folders)
  set(allowed_${w} ${w} customer ui ${core_folders})
endforeach()
set(allowed_app app ${window_folders} customer ui ${core_folders})

set(all_folders app ${window_folders} customer ui ${core_folders})
set(broken "")
set(scanned 0)
foreach(folder IN LISTS all_folders)
  file(GLOB_RECURSE sources RELATIVE "${ROOT}"
       "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp" "${ROOT}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    math(EXPR scanned "${scanned} + 1")
    file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" header "${line}")
      # Only the project's own folders are layered; Qt and the C++ library
      # headers have no folder of ours in front.
      string(REGEX MATCH "^[^/]+" top "${header}")
      if(NOT header MATCHES "/" OR NOT top IN_LIST all_folders)
        continue()
      endif()
      string(REGEX MATCH "[^/]+$" base "${header}")
      if(top IN_LIST window_folders AND folder IN_LIST window_folders AND base MATCHES "^frm")
        continue()
      endif()
      if(NOT top IN_LIST allowed_${folder})
        list(APPEND broken "${source}: ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(scanned EQUAL 0)
  message(FATAL_ERROR "checklayers: no source found under ${ROOT}")
endif()
if(broken)
  list(JOIN broken "\n  " text)
  message(FATAL_ERROR "Includes that run up the layers:\n  ${text}")
endif()
message(STATUS "checklayers: ${scanned} files, every include runs down the layers")
