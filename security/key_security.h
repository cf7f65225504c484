// Who may touch a key: clsKey's security members beyond the type library
// (GetSecurity, SetSecurity, Grant, Deny, Revoke, CheckAccess, AccessRules),
// which read and change the key's security descriptor through the registry
// service, in the key object's view.
#pragma once

#include <windows.h>

#include <string>

#include "automation/dispatch.h"
#include "registry/key_name.h"

namespace vorn::security {

// Serves one call of the member whose identifier is one of
// VORN_DISPID_GETSECURITY to VORN_DISPID_CHECKACCESS and
// VORN_DISPID_ACCESSRULES. Every refusal and failure is a vorn::Error whose
// description begins with the member and the key ("Grant on
// "HKEY_CURRENT_USER\Software\App": ..."); arguments are checked before the
// key is opened, and a refusal changes nothing.
void ServeKeyMember(const registry::KeyName& key, const ExtraMember& member, ExtraCall& call);

}  // namespace vorn::security
