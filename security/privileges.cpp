// Privileges enabled for one call and restored, and the owners a token may
// set without them.
#include "security/privileges.h"

#include <cstddef>

#include "security/failure.h"

namespace vorn::security {

namespace {

// The caller's token: the thread's while it impersonates, else the
// process's.
unique_handle CallerToken(DWORD access) {
  unique_handle token;
  if (::OpenThreadToken(::GetCurrentThread(), access, TRUE, &token.ref())) return token;
  if (::GetLastError() != ERROR_NO_TOKEN) Fail(::GetLastError(), L"the caller's thread token cannot be opened");
  if (!::OpenProcessToken(::GetCurrentProcess(), access, &token.ref()))
    Fail(::GetLastError(), L"the caller's process token cannot be opened");
  return token;
}

std::vector<BYTE> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
  DWORD size = 0;
  ::GetTokenInformation(token, part, nullptr, 0, &size);
  std::vector<BYTE> bytes(size);
  if (!size || !::GetTokenInformation(token, part, bytes.data(), size, &size))
    Fail(::GetLastError(), L"the caller's token cannot be read");
  return bytes;
}

}  // namespace

PrivilegeScope::PrivilegeScope(const std::vector<const wchar_t*>& names) {
  if (names.empty()) return;
  const DWORD size = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + names.size() * sizeof(LUID_AND_ATTRIBUTES));
  std::vector<BYTE> wanted(size);
  auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(wanted.data());
  for (const wchar_t* name : names) {
    LUID_AND_ATTRIBUTES& one = privileges->Privileges[privileges->PrivilegeCount];
    // A name this system does not know is a privilege no token holds.
    if (!::LookupPrivilegeValueW(nullptr, name, &one.Luid)) {
      all_held_ = false;
      continue;
    }
    one.Attributes = SE_PRIVILEGE_ENABLED;
    ++privileges->PrivilegeCount;
  }
  if (!privileges->PrivilegeCount) return;
  constexpr DWORD kAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
  if (!::OpenThreadToken(::GetCurrentThread(), kAccess, TRUE, &token_.ref())) {
    if (::GetLastError() != ERROR_NO_TOKEN) Fail(::GetLastError(), L"the caller's thread token cannot be opened");
    if (!::ImpersonateSelf(SecurityImpersonation)) Fail(::GetLastError(), L"the caller's token cannot be copied");
    impersonating_ = true;
    if (!::OpenThreadToken(::GetCurrentThread(), kAccess, TRUE, &token_.ref())) {
      const DWORD status = ::GetLastError();
      ::RevertToSelf();
      Fail(status, L"the copy of the caller's token cannot be opened");
    }
  }
  previous_.resize(size);
  DWORD previous_size = size;
  if (!::AdjustTokenPrivileges(token_.get(), FALSE, privileges, size,
                               reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()), &previous_size)) {
    const DWORD status = ::GetLastError();
    if (impersonating_) ::RevertToSelf();
    Fail(status, L"the caller's privileges cannot be enabled");
  }
  // Success with ERROR_NOT_ALL_ASSIGNED: some are not in the token.
  if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) all_held_ = false;
}

PrivilegeScope::~PrivilegeScope() {
  if (impersonating_) {
    token_.reset();
    ::RevertToSelf();  // the copy, with what was enabled in it, goes
    return;
  }
  auto* previous = reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data());
  if (token_ && previous && previous->PrivilegeCount)
    ::AdjustTokenPrivileges(token_.get(), FALSE, previous, 0, nullptr, nullptr);
}

bool TokenMayOwn(PSID sid) {
  unique_handle token = CallerToken(TOKEN_QUERY);
  const std::vector<BYTE> user = TokenPart(token.get(), TokenUser);
  if (::EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid)) return true;
  const std::vector<BYTE> groups = TokenPart(token.get(), TokenGroups);
  const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
  for (DWORD i = 0; i < list->GroupCount; ++i)
    if ((list->Groups[i].Attributes & SE_GROUP_OWNER) && ::EqualSid(sid, list->Groups[i].Sid)) return true;
  return false;
}

}  // namespace vorn::security
