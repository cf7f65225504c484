#include "platform/ansi_text.h"

#include <climits>
#include <cstring>
#include <vector>

#include "platform/errors.h"

namespace vorn::ansi {

bool FromWide(const wchar_t* text, UINT length, std::string& out) {
  out.clear();
  if (length == 0) return true;
  if (length > INT_MAX / 4) return false;
  int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  out.resize(static_cast<size_t>(bytes));
  if (::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out.data(), bytes, nullptr, nullptr) != bytes)
    return false;
  // Exactness test that works for every code page: the text must come back
  // unchanged from its 8-bit form.
  int chars = ::MultiByteToWideChar(CP_ACP, 0, out.data(), bytes, nullptr, 0);
  if (chars != static_cast<int>(length)) return false;
  std::vector<wchar_t> back(static_cast<size_t>(chars));
  ::MultiByteToWideChar(CP_ACP, 0, out.data(), bytes, back.data(), chars);
  return std::memcmp(back.data(), text, length * sizeof(wchar_t)) == 0;
}

unique_bstr ToBstr(const char* text, size_t length) {
  if (length == 0) return MakeBstr(L"", 0);
  if (length > INT_MAX / 2) Raise(errors::kOutOfMemory);
  int chars = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  unique_bstr result(::SysAllocStringLen(nullptr, static_cast<UINT>(chars > 0 ? chars : 0)));
  if (!result) Raise(errors::kOutOfMemory);
  if (chars > 0) ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), result.get(), chars);
  return result;
}

}  // namespace vorn::ansi
