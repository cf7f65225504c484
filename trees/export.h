// clsKey.Export: a key and everything below it written to a .reg file.
#pragma once

#include <windows.h>

#include <string>

#include "registry/key_name.h"

namespace vorn {

// Reads the key with its whole tree and writes it
// as file_name, as `reg export` writes it (hex(N): for the values its text
// forms cannot hold). An existing file is refused unless overwrite. Every
// failure throws vorn::Error naming the key, value or file; nothing is then
// written, and an existing file stays as it was.
void ExportKey(const registry::KeyName& key, const std::wstring& file_name, bool overwrite);

}  // namespace vorn
