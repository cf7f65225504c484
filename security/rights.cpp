// Access rights words: the one table of them, parsed and printed.
#include "security/rights.h"

#include <climits>
#include <cwctype>

#include "automation/arguments.h"
#include "automation/errors.h"

namespace vorn::security {

namespace {

struct Named {
  const wchar_t* word;
  ACCESS_MASK mask;
};

// The sets first, largest first, then the single rights in bit order:
// the order in which RightsText writes them.
constexpr Named kRights[] = {
    {L"FullControl", KEY_ALL_ACCESS},
    {L"Read", KEY_READ},
    {L"Write", KEY_WRITE},
    {L"QueryValues", KEY_QUERY_VALUE},
    {L"SetValue", KEY_SET_VALUE},
    {L"CreateSubKey", KEY_CREATE_SUB_KEY},
    {L"EnumerateSubKeys", KEY_ENUMERATE_SUB_KEYS},
    {L"Notify", KEY_NOTIFY},
    {L"CreateLink", KEY_CREATE_LINK},
    {L"Delete", DELETE},
    {L"ReadPermissions", READ_CONTROL},
    {L"ChangePermissions", WRITE_DAC},
    {L"TakeOwnership", WRITE_OWNER},
};

[[noreturn]] void Refuse(const std::wstring& text) { throw Error(errors::kInvalidProcedureCall, text); }

bool SameWord(std::wstring_view a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return i == a.size() && !b[i];
}

// A number's text: decimal digits, or hexadecimal digits after 0x or &H;
// false when the item is no number at all.
bool Number(std::wstring_view item, ACCESS_MASK& mask) {
  unsigned base = 10;
  if (item.size() > 2 && item[0] == L'0' && (item[1] == L'x' || item[1] == L'X')) base = 16, item.remove_prefix(2);
  else if (item.size() > 2 && item[0] == L'&' && (item[1] == L'h' || item[1] == L'H')) base = 16, item.remove_prefix(2);
  else if (item.empty() || !std::iswdigit(item[0])) return false;
  ULONGLONG n = 0;
  for (wchar_t c : item) {
    unsigned digit = c >= L'0' && c <= L'9' ? c - L'0'
                     : base == 16 && std::iswxdigit(c) ? 10 + (std::towlower(c) - L'a')
                                                        : base;
    if (digit >= base) Refuse(L"the right \"" + std::wstring(item) + L"\" is not a number");
    n = n * base + digit;
    if (n > ULONG_MAX) Refuse(L"the access mask \"" + std::wstring(item) + L"\" is larger than 32 bits");
  }
  mask = static_cast<ACCESS_MASK>(n);
  return true;
}

}  // namespace

ACCESS_MASK ParseRights(std::wstring_view text) {
  ACCESS_MASK mask = 0;
  for (size_t start = 0; start <= text.size();) {
    size_t comma = text.find(L',', start);
    if (comma == std::wstring_view::npos) comma = text.size();
    std::wstring_view item = text.substr(start, comma - start);
    while (!item.empty() && std::iswspace(item.front())) item.remove_prefix(1);
    while (!item.empty() && std::iswspace(item.back())) item.remove_suffix(1);
    if (item.empty()) Refuse(L"the rights \"" + std::wstring(text) + L"\" hold an empty item");
    ACCESS_MASK bits = 0;
    bool known = Number(item, bits);
    for (const Named& named : kRights)
      if (!known && SameWord(item, named.word)) bits = named.mask, known = true;
    if (!known)
      Refuse(L"the right \"" + std::wstring(item) +
             L"\" is unknown: write Read, Write, FullControl, QueryValues, SetValue, CreateSubKey, "
             L"EnumerateSubKeys, Notify, CreateLink, Delete, ReadPermissions, ChangePermissions, TakeOwnership "
             L"or a number");
    mask |= bits;
    start = comma + 1;
  }
  if (!mask) Refuse(L"the rights \"" + std::wstring(text) + L"\" name no right");
  return mask;
}

ACCESS_MASK Rights(const VARIANT& value) {
  if ((V_VT(&value) & ~VT_BYREF) == VT_BSTR) {
    unique_bstr text = arguments::Text(value, L"Rights");
    return ParseRights(std::wstring_view(text.get(), ::SysStringLen(text.get())));
  }
  const auto mask = static_cast<ACCESS_MASK>(arguments::Signed(value, INT_MIN, UINT_MAX, L"Rights"));
  if (!mask) Refuse(L"the rights 0 name no right");
  return mask;
}

std::wstring RightsText(ACCESS_MASK mask) {
  std::wstring text;
  ACCESS_MASK written = 0;
  for (const Named& named : kRights) {
    // A set or right is written when the mask holds all of it and it adds a
    // bit not yet written (Read and Write share ReadPermissions).
    if ((mask & named.mask) != named.mask || !(named.mask & ~written)) continue;
    text += (text.empty() ? L"" : L", ") + std::wstring(named.word);
    written |= named.mask;
  }
  if (ACCESS_MASK rest = mask & ~written) {
    std::wstring number = L"0x00000000";
    for (int digit = 9; rest; --digit, rest >>= 4) number[digit] = L"0123456789ABCDEF"[rest & 0xF];
    text += (text.empty() ? L"" : L", ") + number;
  }
  return text.empty() ? L"0x00000000" : text;
}

}  // namespace vorn::security
