// AclEdit: an ACL's entries read one by one, merged, inserted and removed
// in canonical order, and written back as a new list.
#include "security/acl_edit.h"

#include <cstring>
#include <string>

#include "automation/errors.h"

namespace vorn::security {

namespace {

constexpr size_t kHeader = sizeof(ACE_HEADER);
constexpr size_t kMaskEnd = kHeader + sizeof(ACCESS_MASK);

// The kinds of entry that carry an object type before their SID.
bool IsObjectKind(BYTE type) noexcept {
  switch (type) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: case ACCESS_DENIED_OBJECT_ACE_TYPE: case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE: case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE:
      return true;
    default: return false;
  }
}

bool IsDenyKind(BYTE type) noexcept {
  return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

bool Explicit(const std::vector<BYTE>& entry) noexcept { return !(entry[1] & INHERITED_ACE); }

// The SID an entry holds, or null when its bytes hold none whole.
const SID* SidOf(const std::vector<BYTE>& entry) noexcept {
  size_t at = kMaskEnd;
  if (IsObjectKind(entry[0])) {
    if (entry.size() < at + sizeof(DWORD)) return nullptr;
    DWORD present = 0;
    std::memcpy(&present, entry.data() + at, sizeof present);
    at += sizeof(DWORD) + (present & ACE_OBJECT_TYPE_PRESENT ? sizeof(GUID) : 0) +
          (present & ACE_INHERITED_OBJECT_TYPE_PRESENT ? sizeof(GUID) : 0);
  }
  // A SID: revision, count of sub-authorities, six bytes of authority, then
  // four bytes for each sub-authority.
  if (entry.size() < at + 8) return nullptr;
  const BYTE count = entry[at + 1];
  if (entry[at] != SID_REVISION || count > SID_MAX_SUB_AUTHORITIES || entry.size() < at + 8 + 4u * count)
    return nullptr;
  return reinterpret_cast<const SID*>(entry.data() + at);
}

bool SameSid(const SID* a, const SID* b) noexcept {
  return a && b && ::EqualSid(const_cast<SID*>(a), const_cast<SID*>(b));
}

std::vector<BYTE> NewEntry(BYTE type, BYTE flags, ACCESS_MASK mask, const SID* sid) {
  const DWORD sid_size = ::GetLengthSid(const_cast<SID*>(sid));
  std::vector<BYTE> entry(kMaskEnd + sid_size);
  ACE_HEADER header{type, flags, static_cast<WORD>(entry.size())};
  std::memcpy(entry.data(), &header, kHeader);
  std::memcpy(entry.data() + kHeader, &mask, sizeof mask);
  std::memcpy(entry.data() + kMaskEnd, sid, sid_size);
  return entry;
}

ACCESS_MASK MaskOf(const std::vector<BYTE>& entry) noexcept {
  ACCESS_MASK mask = 0;
  std::memcpy(&mask, entry.data() + kHeader, sizeof mask);
  return mask;
}

}  // namespace

AclEdit::AclEdit(const ACL* acl) {
  if (!acl) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    ::InitializeSid(everyone, &world, 1);
    *::GetSidSubAuthority(everyone, 0) = SECURITY_WORLD_RID;
    entries_.push_back(NewEntry(ACCESS_ALLOWED_ACE_TYPE, 0, KEY_ALL_ACCESS, reinterpret_cast<SID*>(everyone)));
    return;
  }
  revision_ = acl->AclRevision;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(acl);
  size_t at = sizeof(ACL);
  for (WORD i = 0; i < acl->AceCount; ++i) {
    ACE_HEADER header{};
    if (at + kHeader <= acl->AclSize) std::memcpy(&header, bytes + at, kHeader);
    // Every entry that has a mask (all kinds have) and lies inside the list.
    if (header.AceSize < kMaskEnd || at + header.AceSize > acl->AclSize)
      throw Error(HRESULT_FROM_WIN32(ERROR_INVALID_ACL),
                  L"the DACL is malformed: its entry " + std::to_wstring(i + 1) + L" does not lie inside it");
    entries_.emplace_back(bytes + at, bytes + at + header.AceSize);
    at += header.AceSize;
  }
}

AceView AclEdit::Entry(size_t i) const noexcept {
  const std::vector<BYTE>& entry = entries_[i];
  return {entry[0], entry[1], MaskOf(entry), SidOf(entry)};
}

bool AclEdit::Add(bool deny, const SID* sid, ACCESS_MASK mask, BYTE inheritance) {
  const BYTE type = deny ? ACCESS_DENIED_ACE_TYPE : ACCESS_ALLOWED_ACE_TYPE;
  for (std::vector<BYTE>& entry : entries_) {
    if (entry[0] != type || !Explicit(entry) || (entry[1] & VALID_INHERIT_FLAGS) != inheritance ||
        !SameSid(SidOf(entry), sid))
      continue;
    const ACCESS_MASK before = MaskOf(entry), after = before | mask;
    std::memcpy(entry.data() + kHeader, &after, sizeof after);
    return after != before;
  }
  size_t at = 0;
  if (deny) {
    while (at < entries_.size() && Explicit(entries_[at]) && IsDenyKind(entries_[at][0])) ++at;
  } else {
    while (at < entries_.size() && Explicit(entries_[at])) ++at;
  }
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), NewEntry(type, inheritance, mask, sid));
  return true;
}

bool AclEdit::Remove(const SID* sid) {
  const size_t before = entries_.size();
  std::erase_if(entries_, [&](const std::vector<BYTE>& entry) {
    return (entry[0] == ACCESS_ALLOWED_ACE_TYPE || entry[0] == ACCESS_DENIED_ACE_TYPE) && Explicit(entry) &&
           SameSid(SidOf(entry), sid);
  });
  return entries_.size() != before;
}

std::vector<BYTE> AclEdit::Bytes() const {
  size_t size = sizeof(ACL);
  for (const std::vector<BYTE>& entry : entries_) size += entry.size();
  if (size > 0xFFFF)
    throw Error(HRESULT_FROM_WIN32(ERROR_ALLOTTED_SPACE_EXCEEDED),
                L"the DACL would take " + std::to_wstring(size) + L" bytes, more than a list can hold (65535)");
  std::vector<BYTE> bytes(sizeof(ACL));
  ACL header{revision_, 0, static_cast<WORD>(size), static_cast<WORD>(entries_.size()), 0};
  std::memcpy(bytes.data(), &header, sizeof header);
  for (const std::vector<BYTE>& entry : entries_) bytes.insert(bytes.end(), entry.begin(), entry.end());
  return bytes;
}

}  // namespace vorn::security
