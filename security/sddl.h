// Security descriptors as SDDL text, both ways, through the platform's
// converters: the parts that GetSecurity's letters name, the text of a
// descriptor, and SetSecurity's text checked whole before anything is
// written.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "support/unique_any.h"

namespace vorn::security {

// The parts that letters name: O (owner), G (group), D (DACL), S (SACL), in
// any order and letter case. No letter, or another character, is refused
// with error 5.
SECURITY_INFORMATION PartsFromLetters(std::wstring_view letters);

// The parts info of descriptor as the platform's converter writes them.
std::wstring SddlText(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION info);

// The parts of a descriptor, null when absent. A list's present says
// whether it is marked present: a null DACL is present without a list.
PSID OwnerOf(PSECURITY_DESCRIPTOR descriptor) noexcept;
PSID GroupOf(PSECURITY_DESCRIPTOR descriptor) noexcept;
PACL DaclOf(PSECURITY_DESCRIPTOR descriptor, bool* present = nullptr) noexcept;
PACL SaclOf(PSECURITY_DESCRIPTOR descriptor, bool* present = nullptr) noexcept;

// A descriptor read from SDDL text, refused (nothing is made) when:
// - the converter refuses the text: its status, with the part or entry it
//   refused and its text;
// - the text holds no part (O:, G:, D:, S:), blanks and "" included (Wine's
//   converter reads them as an empty descriptor);
// - a part is given twice, or holds text the converter would skip: Wine's
//   reads "O:BAX" as O:BA and stops a DACL at the first character that is
//   not an entry, so "D:(A;;KA;;;BA) (A;;KR;;;BU)" would lose its second
//   entry;
// - it asks for a null DACL (D:NO_ACCESS_CONTROL, with entries after it or
//   not, or a DACL marked present but absent), which lets everyone do
//   everything; Wine's converter even turns it into an empty DACL, which
//   lets no one do anything.
// These refusals are error 5, quoting the text and saying what is wrong.
class SddlDescriptor {
 public:
  explicit SddlDescriptor(std::wstring_view text);

  // The parts the text holds, with PROTECTED_ or UNPROTECTED_ for each list
  // as the text's P flag says: exactly what SetSecurityInfo is to set.
  SECURITY_INFORMATION Parts() const noexcept { return parts_; }
  PSID Owner() const noexcept { return OwnerOf(descriptor_.get()); }
  PSID Group() const noexcept { return GroupOf(descriptor_.get()); }
  PACL Dacl() const noexcept { return DaclOf(descriptor_.get()); }
  PACL Sacl() const noexcept { return SaclOf(descriptor_.get()); }

 private:
  unique_local descriptor_;
  SECURITY_INFORMATION parts_ = 0;
};

}  // namespace vorn::security
