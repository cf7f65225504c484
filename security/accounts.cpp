// Accounts: names, SID strings and aliases to SIDs, and SIDs to names.
#include "security/accounts.h"

#include <sddl.h>

#include <algorithm>
#include <cwctype>

#include "automation/errors.h"
#include "security/failure.h"
#include "support/unique_any.h"

namespace vorn::security {

namespace {

[[noreturn]] void Unresolved(std::wstring_view account, const wchar_t* why) {
  throw Error(HRESULT_FROM_WIN32(ERROR_NONE_MAPPED),
              L"the account \"" + std::wstring(account) + L"\" " + why + L" (" + StatusText(ERROR_NONE_MAPPED) + L")");
}

bool FromSidString(const std::wstring& text, std::vector<BYTE>& sid) {
  unique_local converted;
  if (!::ConvertStringSidToSidW(text.c_str(), reinterpret_cast<PSID*>(converted.put()))) return false;
  // Wine's converter also takes more than 15 sub-authorities, a SID that
  // nothing can read back once it is in a key's security.
  if (!::IsValidSid(converted.get())) return false;
  const BYTE* bytes = static_cast<const BYTE*>(converted.get());
  sid.assign(bytes, bytes + ::GetLengthSid(converted.get()));
  return true;
}

}  // namespace

std::vector<BYTE> AccountSid(std::wstring_view account) {
  const std::wstring text(account);
  std::vector<BYTE> sid;
  size_t blank = 0;
  while (blank < text.size() && std::iswspace(text[blank])) ++blank;
  // The lookup answers an empty name with the local domain.
  if (blank == text.size()) Unresolved(account, L"is empty");
  // The lookup would read the name only up to a zero character.
  if (text.find(L'\0') != std::wstring::npos) Unresolved(account, L"holds a zero character");
  if (text.size() > 2 && (text[0] == L'S' || text[0] == L's') && text[1] == L'-' && FromSidString(text, sid))
    return sid;
  sid.resize(SECURITY_MAX_SID_SIZE);
  std::vector<wchar_t> domain(64);
  for (;;) {
    DWORD sid_size = static_cast<DWORD>(sid.size()), domain_size = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountNameW(nullptr, text.c_str(), sid.data(), &sid_size, domain.data(), &domain_size, &use)) {
      if (use == SidTypeDomain) Unresolved(account, L"names a domain, not an account");
      sid.resize(::GetLengthSid(sid.data()));
      return sid;
    }
    const DWORD status = ::GetLastError();
    if (status == ERROR_INSUFFICIENT_BUFFER && (sid_size > sid.size() || domain_size > domain.size())) {
      if (sid_size > sid.size()) sid.resize(sid_size);
      if (domain_size > domain.size()) domain.resize(domain_size);
      continue;
    }
    if (status != ERROR_NONE_MAPPED) Fail(status, L"the account \"" + text + L"\" cannot be looked up");
    break;
  }
  // The SDDL aliases (BU, WD, SY, ...) are no names the lookup knows.
  if (text.size() == 2 && FromSidString(text, sid)) return sid;
  Unresolved(account, L"does not resolve");
}

std::wstring AccountName(PSID sid) {
  std::vector<wchar_t> name(64), domain(64);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD name_size = static_cast<DWORD>(name.size()), domain_size = static_cast<DWORD>(domain.size());
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountSidW(nullptr, sid, name.data(), &name_size, domain.data(), &domain_size, &use))
      return domain[0] ? std::wstring(domain.data()) + L"\\" + name.data() : std::wstring(name.data());
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    name.resize(std::max<size_t>(name_size, name.size()));
    domain.resize(std::max<size_t>(domain_size, domain.size()));
  }
  unique_local text;
  if (!::ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(text.put()))) Fail(::GetLastError(), L"a SID in it cannot be written");
  return static_cast<const wchar_t*>(text.get());
}

}  // namespace vorn::security
