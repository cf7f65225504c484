// Whole files read and written in one piece: a file read at once, and a file
// written under a temporary name in its own folder and moved into place only
// when complete, so that a failure leaves no partial file and an existing
// file as it was.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vorn::files {

// The full path of name (relative to the current directory).
std::wstring FullPath(const std::wstring& name);

// The file's bytes. Failures throw vorn::Error naming the file.
std::vector<BYTE> Read(const std::wstring& path);

// Throws the refusal of Write for an existing file when path exists.
void RefuseExisting(const std::wstring& path);

// Writes size bytes as the file path. An existing file is refused (0x80070050)
// unless overwrite; with overwrite it is replaced only once the new content
// is complete. Failures throw vorn::Error naming the file, and remove the
// temporary file.
void Write(const std::wstring& path, const void* data, size_t size, bool overwrite);

}  // namespace vorn::files
