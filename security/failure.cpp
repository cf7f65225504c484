// Win32 statuses of the security calls as described errors.
#include "security/failure.h"

#include "automation/errors.h"
#include "support/unique_any.h"

namespace vorn::security {

std::wstring StatusText(DWORD status) {
  std::wstring text = L"error " + std::to_wstring(status);
  unique_local message;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, status, 0, reinterpret_cast<LPWSTR>(message.put()), 0, nullptr);
  std::wstring said(length ? static_cast<const wchar_t*>(message.get()) : L"", length);
  while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' ' || said.back() == L'.'))
    said.pop_back();
  return said.empty() ? text : text + L": " + said;
}

[[noreturn]] void Fail(DWORD status, const std::wstring& what) {
  throw Error(HRESULT_FROM_WIN32(status), what + L" (" + StatusText(status) + L")");
}

}  // namespace vorn::security
