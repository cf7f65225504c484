// clsKey.Import: a .reg file applied to a key and the keys below it, checked
// whole before the first write and undone whole when a write fails.
#pragma once

#include <windows.h>

#include <string>

#include "registry/key_name.h"

namespace vorn {

// Applies file_name to the registry: every section must name the key or a
// key below it (in its view). A malformed line or a section
// outside the key refuses the whole file before anything is written. When
// a write fails part-way, every change already made is undone (replaced
// values restored with their exact type and bytes, added values and keys
// removed, deleted trees rebuilt) before the failure is thrown. Failures
// throw vorn::Error naming the file line, key or value.
void ImportFile(const registry::KeyName& key, const std::wstring& file_name);

}  // namespace vorn
