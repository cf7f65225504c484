# Builds one package with wixl, and fails where wixl itself would not:
#   cmake -DWIXL=<wixl> -DSOURCE=<.wxs> -DARCH=x86|x64 -DVERSION=<x.y.z>
#         -DROWS=<dir> -DMODULE32=<dll> [-DMODULE64=<dll>] -DOUTPUT=<.msi>
#         -P run_wixl.cmake
# wixl exits 0 even when it drops an element it does not support, and it
# cannot open absolute paths of includes and sources (GLib asserts, with a
# CRITICAL, and the file is left out). So every path goes in relative to the
# output's folder, and any WARNING or CRITICAL on its output fails the build.
foreach(var WIXL SOURCE ARCH VERSION ROWS MODULE32 OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_wixl: ${var} is not set")
  endif()
endforeach()

get_filename_component(work "${OUTPUT}" DIRECTORY)
function(relative var path)
  file(RELATIVE_PATH rel "${work}" "${path}")
  set(${var} "${rel}" PARENT_SCOPE)
endfunction()

relative(rows "${ROWS}")
relative(module32 "${MODULE32}")
set(defines -D Platform=${ARCH} -D Version=${VERSION} -D Module32=${module32})
if(ARCH STREQUAL "x64")
  if(NOT DEFINED MODULE64)
    message(FATAL_ERROR "run_wixl: the x64 package needs MODULE64")
  endif()
  relative(module64 "${MODULE64}")
  list(APPEND defines -D Module64=${module64})
endif()

file(MAKE_DIRECTORY "${work}")
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND "${WIXL}" -a ${ARCH} ${defines} -I "${rows}" -o "${OUTPUT}" "${SOURCE}"
  WORKING_DIRECTORY "${work}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)

if(NOT status EQUAL 0 OR out MATCHES "WARNING|CRITICAL" OR NOT EXISTS "${OUTPUT}")
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "wixl failed for ${OUTPUT} (status ${status}):\n${out}")
endif()
