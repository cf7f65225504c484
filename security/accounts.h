// Accounts as scripts name them, to SIDs and back: a name as
// LookupAccountNameW takes it ("Users", "BUILTIN\Users", "Everyone", a
// user), a SID string ("S-1-5-32-545") or an SDDL alias ("BU", "WD").
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace vorn::security {

// The SID that account names. A SID string is read as one; a name is looked
// up, and a two-letter text the lookup does not know is tried as an alias.
// An empty name, one that does not resolve, and one that names a domain
// rather than an account are refused with error 1332, naming it.
std::vector<BYTE> AccountSid(std::wstring_view account);

// The account of sid as DOMAIN\name ("Everyone" where the domain is empty),
// or its SID string when it does not resolve.
std::wstring AccountName(PSID sid);

}  // namespace vorn::security
