// Who may touch a key: clsKey's security members beyond the type library
// (GetSecurity, SetSecurity, Grant, Deny, Revoke, CheckAccess, AccessRules),
// which read and change the key's security descriptor through the registry
// service, in the key object's view.
#pragma once

#include <windows.h>

#include <string>

#include "automation/dispatch.h"

namespace vorn::security {

// A key as a key object names it.
struct SecuredKey {
  LONG root = 0;
  std::wstring path;  // normalised, as the key object keeps it
  REGSAM view = 0;
  // The text assigned to the path had spaces at an end, which the key object
  // dropped: the path names another key than its text, and the members that
  // change security refuse it.
  bool lost_spaces = false;
};

// Serves one call of the member whose identifier is one of
// VORN_DISPID_GETSECURITY to VORN_DISPID_CHECKACCESS and
// VORN_DISPID_ACCESSRULES. Every refusal and failure is a vorn::Error whose
// description begins with the member and the key ("Grant on
// "HKEY_CURRENT_USER\Software\App": ..."); arguments are checked before the
// key is opened, and a refusal changes nothing.
void ServeKeyMember(const SecuredKey& key, const ExtraMember& member, ExtraCall& call);

}  // namespace vorn::security
