# Runs one script under Wine's cscript and prints what it wrote.
#   cmake -DWINE_RUN=<wine-run> -DSCRIPT=<file.vbs|file.js> -DOUTPUT=<file>
#         [-DTIMEOUT=<seconds>] [-DARGS=<a;b>] -P run_cscript.cmake
# The output goes to a file, never a pipe: a Wine program that starts Wine
# services can keep a pipe open after it ends. The script's own summary line
# decides the test; a runner problem prints a line starting with
# "cscript runner:", which the tests treat as failure.
foreach(var WINE_RUN SCRIPT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "cscript runner: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED TIMEOUT)
  set(TIMEOUT 300)
endif()

# cscript takes a Windows path; Wine maps the Unix root to Z:.
string(REPLACE "/" "\\" script_windows "Z:${SCRIPT}")
file(REMOVE ${OUTPUT})
execute_process(
  COMMAND timeout -k 10 ${TIMEOUT} ${WINE_RUN} cscript //nologo ${script_windows} ${ARGS}
  INPUT_FILE /dev/null
  OUTPUT_FILE ${OUTPUT}
  ERROR_FILE ${OUTPUT}
  RESULT_VARIABLE status)

if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} text)
  string(REPLACE "\r" "" text "${text}")
  message("${text}")
endif()
if(status EQUAL 124 OR status EQUAL 137)
  message("cscript runner: ${SCRIPT} timed out after ${TIMEOUT} s")
elseif(NOT status EQUAL 0)
  message("cscript runner: ${SCRIPT} ended with status ${status}")
endif()
