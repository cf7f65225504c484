// Whole files: read at once, or written beside their place and moved in.
#include "regfile/whole_file.h"

#include "automation/errors.h"
#include "automation/ownership.h"

namespace vorn::files {

namespace {

[[noreturn]] void Failed(DWORD status, const std::wstring& what) {
  throw Error(HRESULT_FROM_WIN32(status), what + L" (error " + std::to_wstring(status) + L")");
}

struct FileCloser {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~FileCloser() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};

}  // namespace

std::wstring FullPath(const std::wstring& name) {
  if (name.empty()) throw Error(errors::kInvalidProcedureCall, L"The file name is empty");
  if (name.find(L'\0') != std::wstring::npos)
    throw Error(errors::kInvalidProcedureCall, L"The file name holds the character of code 0");
  DWORD length = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (!length) Failed(::GetLastError(), L"The file name \"" + name + L"\" is not valid");
  std::wstring full(length, L'\0');
  length = ::GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (!length || length >= full.size()) Failed(::GetLastError(), L"The file name \"" + name + L"\" is not valid");
  full.resize(length);
  return full;
}

std::vector<BYTE> Read(const std::wstring& path) {
  FileCloser file;
  file.handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) Failed(::GetLastError(), L"The file \"" + path + L"\" cannot be opened");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.handle, &size)) Failed(::GetLastError(), L"The file \"" + path + L"\" cannot be read");
  if (size.QuadPart > 0x40000000)
    throw Error(errors::kOutOfMemory, L"The file \"" + path + L"\" is larger than 1 GB");
  std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && (!::ReadFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size()))
    Failed(::GetLastError() ? ::GetLastError() : ERROR_READ_FAULT, L"The file \"" + path + L"\" cannot be read");
  return bytes;
}

namespace {

[[noreturn]] void Exists(const std::wstring& path) {
  throw Error(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS),
              L"The file \"" + path + L"\" exists; pass Overwrite as True to replace it");
}

}  // namespace

void RefuseExisting(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) Exists(path);
}

void Write(const std::wstring& path, const void* data, size_t size, bool overwrite) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !overwrite) Exists(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Error(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"\"" + path + L"\" is a folder");

  // The temporary file lies in the same folder, so that the move is a rename.
  size_t slash = path.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
  wchar_t temporary[MAX_PATH + 16] = {};
  if (folder.size() > MAX_PATH - 14 || !::GetTempFileNameW(folder.c_str(), L"vrg", 0, temporary))
    Failed(folder.size() > MAX_PATH - 14 ? ERROR_FILENAME_EXCED_RANGE : ::GetLastError(),
           L"No temporary file can be made in the folder of \"" + path + L"\"");
  struct Remover {
    const wchar_t* name;
    bool keep = false;
    ~Remover() {
      if (!keep) ::DeleteFileW(name);
    }
  } remover{temporary};
  {
    FileCloser file;
    file.handle = ::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE)
      Failed(::GetLastError(), L"The file \"" + std::wstring(temporary) + L"\" cannot be written");
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
      DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size), written = 0;
      if (!::WriteFile(file.handle, bytes, chunk, &written, nullptr) || written != chunk)
        Failed(::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT,
               L"The file \"" + std::wstring(temporary) + L"\" cannot be written");
      bytes += chunk;
      size -= chunk;
    }
  }
  // Without overwrite the move itself refuses a file that appeared meanwhile.
  if (!::MoveFileExW(temporary, path.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) {
    DWORD status = ::GetLastError();
    if (status == ERROR_ALREADY_EXISTS || status == ERROR_FILE_EXISTS) Exists(path);
    Failed(status, L"The file \"" + path + L"\" cannot be replaced");
  }
  remover.keep = true;
}

}  // namespace vorn::files
