# Checks a release archive: exactly the expected files below one folder named
# after the archive, every document of the source tree's docs/ among them (the
# README links to them), and a module built for the archive's platform.
#   cmake -DARCHIVE=<VornRegistry-x.y.z-win32|win64.zip> -DWORK=<dir> -DDOCS=<source>/docs
#         -P check_archive.cmake
get_filename_component(name ${ARCHIVE} NAME)
string(REGEX REPLACE "\\.zip$" "" name ${name})
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ARCHIVE} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "archive: cannot unpack ${ARCHIVE}")
endif()

file(GLOB_RECURSE found RELATIVE ${WORK} ${WORK}/*)
list(SORT found)
set(expected LICENSE README.md VornRegAccLib.tlb VornRegistry.dll examples/backup.vbs examples/find.vbs
             examples/permissions.vbs examples/regtree.js examples/regtree.vbs examples/walk.cpp examples/watch.vbs
             examples/regfree/regfree_client.cpp
             examples/regfree/regfree_client.rc
             examples/regfree/regfree_client.exe.manifest include/VornRegAccLib.h)
get_filename_component(source ${DOCS} DIRECTORY)
file(GLOB docs RELATIVE ${source} ${DOCS}/*.md)
if(NOT docs)
  message(FATAL_ERROR "archive: no documents found in ${DOCS}")
endif()
list(APPEND expected ${docs})
list(TRANSFORM expected PREPEND ${name}/)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "archive: holds\n  ${found}\nexpected\n  ${expected}")
endif()

# The PE header's machine field: 0x8664 for x86-64, 0x014c for i386.
set(dll ${WORK}/${name}/VornRegistry.dll)
file(READ ${dll} at OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" at ${at})
math(EXPR machine_at "${at} + 4")
file(READ ${dll} machine OFFSET ${machine_at} LIMIT 2 HEX)
if(name MATCHES "win64$")
  set(want 6486)
else()
  set(want 4c01)
endif()
if(NOT machine STREQUAL want)
  message(FATAL_ERROR "archive: the module's machine field is ${machine}, expected ${want}")
endif()
message("archive: ${name}.zip holds the expected files")
