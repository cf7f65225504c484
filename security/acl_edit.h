// AclEdit: the entries of an access control list in memory, changed one
// account at a time as Grant, Deny and Revoke ask, in canonical order
// (explicit deny entries, explicit allow entries, inherited entries), with
// every other entry kept as it is. No registry and no token is involved.
#pragma once

#include <windows.h>

#include <vector>

namespace vorn::security {

// One entry as AccessRules shows it. sid points into the entry, or is null
// for an entry whose kind holds no account this reads.
struct AceView {
  BYTE type = 0;   // ACCESS_ALLOWED_ACE_TYPE, ACCESS_DENIED_ACE_TYPE or another kind
  BYTE flags = 0;  // INHERITED_ACE, CONTAINER_INHERIT_ACE, ...
  ACCESS_MASK mask = 0;
  const SID* sid = nullptr;
};

class AclEdit {
 public:
  // The entries of acl. A null list (a null DACL, which lets everyone do
  // everything) reads as what it means: one explicit entry that allows
  // Everyone KEY_ALL_ACCESS. A list whose sizes do not add up is refused
  // with ERROR_INVALID_ACL.
  explicit AclEdit(const ACL* acl);

  size_t Count() const noexcept { return entries_.size(); }
  AceView Entry(size_t i) const noexcept;

  // Adds mask for sid as an explicit allow entry (a deny entry with deny),
  // with exactly the inheritance flags given (0, or CONTAINER_INHERIT_ACE
  // to pass it on to sub-keys). The rights go into the first explicit entry
  // of the same kind, account and flags; otherwise a new entry goes last
  // among the explicit entries of its kind (a deny entry after the leading
  // explicit deny entries, an allow entry before the first inherited one).
  // Whether the list changed.
  bool Add(bool deny, const SID* sid, ACCESS_MASK mask, BYTE inheritance);
  // Removes every explicit allow and deny entry of sid; inherited entries
  // stay. Whether there was one.
  bool Remove(const SID* sid);

  // The list as a new ACL, of the original's revision; a list larger than
  // an ACL can hold (64 KB) is refused with ERROR_ALLOTTED_SPACE_EXCEEDED.
  std::vector<BYTE> Bytes() const;

 private:
  BYTE revision_ = ACL_REVISION;
  std::vector<std::vector<BYTE>> entries_;  // each entry's bytes, header first
};

}  // namespace vorn::security
