# Writes VornRegAccLib.h, the header that clients use for early binding: the
# published part of contract/guids.h and all of contract/interfaces.h, without
# their includes of each other, so that it needs only the Windows headers.
#   cmake -DSOURCE_DIR=<source tree> -DOUTPUT=<header> -DVERSION=<x.y.z> -P public_header.cmake
file(READ ${SOURCE_DIR}/contract/guids.h guids)
file(READ ${SOURCE_DIR}/contract/interfaces.h interfaces)
string(FIND "${guids}" "// ---- Not published" cut)
if(cut EQUAL -1)
  message(FATAL_ERROR "contract/guids.h has no \"// ---- Not published\" line")
endif()
string(SUBSTRING "${guids}" 0 ${cut} guids)
# guids.h's own opening comment speaks of the project, not to clients.
string(REGEX REPLACE "^(//[^\n]*\n)+" "" guids "${guids}")
foreach(part guids interfaces)
  string(REGEX REPLACE "#pragma once\n|#include <oaidl.h>\n|#include \"contract/[^\"]*\"\n" "" ${part} "${${part}}")
endforeach()

file(WRITE ${OUTPUT} "// VornRegAccLib.h: early binding to the Vorn Registry Access Library,
// VornRegistry.dll ${VERSION} (type library VornRegAccLib 1.0). The GUIDs are in
// namespace vorn::guids; the interfaces and enumerations are at global scope.
// C++17 or later; needs only the Windows headers.
#pragma once

#include <oaidl.h>

${guids}}  // namespace vorn::guids

#endif  // RC_INVOKED

${interfaces}")
