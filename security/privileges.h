// The caller's privileges for one call: PrivilegeScope enables some and
// puts the token back exactly as it was; TokenMayOwn tells whether an owner
// needs a privilege at all.
#pragma once

#include <windows.h>

#include <vector>

#include "support/unique_any.h"

namespace vorn::security {

// Enables the privileges named (SE_SECURITY_NAME and the like) in the
// caller's token, the thread's when it impersonates and the process's
// otherwise, for as long as it lives; then restores the state of exactly
// those it changed. Privileges the token does not hold stay absent. No
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
};

// Whether the caller may make sid a key's owner without a privilege: the
// token's user, or one of its groups that may own objects.
bool TokenMayOwn(PSID sid);

}  // namespace vorn::security
