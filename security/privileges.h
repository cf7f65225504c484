// The caller's privileges for one call: PrivilegeScope enables some and
// puts the token back exactly as it was; TokenMayOwn tells whether an owner
// needs a privilege at all.
#pragma once

#include <windows.h>

#include <vector>

#include "support/unique_any.h"

namespace vorn::security {

// Enables the privileges named (SE_SECURITY_NAME and the like) for the
// calling thread as long as it lives. A thread that impersonates has them
// enabled in its token, whose state of exactly those it changed is then
// restored. Any other thread impersonates a copy of the process token for
// the time, so that neither the process token nor other threads see a
// privilege enabled. Privileges the token does not hold stay absent. No
// names: nothing is done.
class PrivilegeScope {
 public:
  explicit PrivilegeScope(const std::vector<const wchar_t*>& names);
  ~PrivilegeScope();
  PrivilegeScope(const PrivilegeScope&) = delete;
  PrivilegeScope& operator=(const PrivilegeScope&) = delete;

  // Whether the token holds every privilege named (now enabled).
  bool AllHeld() const noexcept { return all_held_; }

 private:
  unique_handle token_;
  std::vector<BYTE> previous_;  // TOKEN_PRIVILEGES: the states changed
  bool all_held_ = true;
  bool impersonating_ = false;  // this scope made the thread impersonate
};

// Whether the caller may make sid a key's owner without a privilege: the
// token's user, or one of its groups that may own objects.
bool TokenMayOwn(PSID sid);

}  // namespace vorn::security
