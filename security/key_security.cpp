// The key's security: each member opens the key with just the rights it
// needs, in the key object's view, and reads or writes its descriptor in
// one call of the registry service.
#include "security/key_security.h"

#include <cstring>
#include <map>
#include <optional>

#include "automation/arguments.h"
#include "automation/errors.h"
#include "automation/variant_array.h"
#include "contract/interfaces.h"
#include "registry/root_names.h"
#include "registry/service.h"
#include "security/accounts.h"
#include "security/acl_edit.h"
#include "security/failure.h"
#include "security/privileges.h"
#include "security/rights.h"
#include "security/sddl.h"
#include "support/wine.h"

namespace vorn::security {

namespace {

unique_hkey Open(const registry::KeyName& key, REGSAM access, const wchar_t* what) {
  unique_hkey handle;
  const LONG status = registry::OpenKey(key.root, key.path.c_str(), static_cast<UINT>(key.path.size()),
                                        access | key.view, handle);
  if (status == ERROR_FILE_NOT_FOUND)
    throw Error(HRESULT_FROM_WIN32(status), L"the key does not exist");
  if (status != registry::kSuccess) Fail(static_cast<DWORD>(status), std::wstring(L"the key cannot be opened ") + what);
  return handle;
}

std::vector<BYTE> ReadSecurity(HKEY handle, SECURITY_INFORMATION info) {
  std::vector<BYTE> descriptor;
  if (LONG status = registry::ReadSecurity(handle, info, descriptor))
    Fail(static_cast<DWORD>(status), L"its security descriptor cannot be read");
  return descriptor;
}

// The DACL in descriptor: null when it is absent or a null DACL.
const ACL* DaclOf(const std::vector<BYTE>& descriptor, bool& is_protected) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  auto* sd = const_cast<BYTE*>(descriptor.data());
  ::GetSecurityDescriptorControl(sd, &control, &revision);
  is_protected = control & SE_DACL_PROTECTED;
  return security::DaclOf(sd);
}

// Reading or writing the SACL needs SeSecurityPrivilege, enabled for the
// call only; a token without it is refused before the key is opened.
std::vector<const wchar_t*> SaclPrivilege(SECURITY_INFORMATION info) {
  if (!(info & SACL_SECURITY_INFORMATION)) return {};
  return {SE_SECURITY_NAME};
}

void RequireAll(const PrivilegeScope& privileges) {
  if (!privileges.AllHeld())
    Fail(ERROR_PRIVILEGE_NOT_HELD, L"the SACL is reached only with SeSecurityPrivilege, which the caller does not hold");
}

void RefuseLostSpaces(const registry::KeyName& key) {
  if (key.lost_spaces)
    throw Error(errors::kInvalidProcedureCall,
                L"the path was given with spaces at an end, which the key object drops: it names another key than "
                L"its text");
}

std::wstring GetSecurity(const registry::KeyName& key, SECURITY_INFORMATION info) {
  PrivilegeScope privileges(SaclPrivilege(info));
  RequireAll(privileges);
  const REGSAM access = READ_CONTROL | (info & SACL_SECURITY_INFORMATION ? ACCESS_SYSTEM_SECURITY : 0);
  unique_hkey handle = Open(key, access, L"to read its security");
  std::vector<BYTE> descriptor = ReadSecurity(handle.get(), info);
  return SddlText(descriptor.data(), info);
}

// Wine 8 reports a key that never had security set with a stand-in
// descriptor, but the first set of some parts there takes the others from
// the caller's token (owner and group become its primary group, the DACL
// allows only SYSTEM and that group): setting a DACL would change the owner
// and group a script just read, and setting an owner would replace the DACL.
// Under Wine, a key that reads as the stand-in therefore gets the parts a
// write leaves out as it read them, in the same call.
constexpr wchar_t kWineStandIn[] = L"O:BAG:BAD:(A;CIIO;GR;;;BU)(A;;KA;;;BA)";

// Whether descriptor (owner, group and DACL) is Wine's stand-in: always
// false elsewhere.
bool IsStandIn(const std::vector<BYTE>& descriptor) {
  if (!UnderWine() || descriptor.empty()) return false;
  static const SddlDescriptor stand_in(kWineStandIn);
  auto* sd = const_cast<BYTE*>(descriptor.data());
  const PSID owner = OwnerOf(sd), group = GroupOf(sd);
  const ACL* dacl = security::DaclOf(sd);
  const ACL* expected = stand_in.Dacl();
  return owner && group && dacl && ::EqualSid(owner, stand_in.Owner()) && ::EqualSid(group, stand_in.Group()) &&
         dacl->AceCount == expected->AceCount && dacl->AclSize == expected->AclSize &&
         std::memcmp(dacl + 1, expected + 1, expected->AclSize - sizeof(ACL)) == 0;
}

constexpr SECURITY_INFORMATION kOgd =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

bool ReadsAsStandIn(const registry::KeyName& key) {
  if (!UnderWine()) return false;
  unique_hkey handle;
  std::vector<BYTE> descriptor;
  return registry::OpenKey(key.root, key.path.c_str(), static_cast<UINT>(key.path.size()), READ_CONTROL | key.view,
                           handle) == registry::kSuccess &&
         registry::ReadSecurity(handle.get(), kOgd, descriptor) == registry::kSuccess && IsStandIn(descriptor);
}

// The parts a write sets: those given, and under Wine on a key that reads
// as the stand-in, the owner, group and DACL it did not give, as they read.
struct Write {
  SECURITY_INFORMATION info = 0;
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr, sacl = nullptr;

  void KeepStandIn(const SddlDescriptor& stand_in) {
    if (!(info & OWNER_SECURITY_INFORMATION)) info |= OWNER_SECURITY_INFORMATION, owner = stand_in.Owner();
    if (!(info & GROUP_SECURITY_INFORMATION)) info |= GROUP_SECURITY_INFORMATION, group = stand_in.Group();
    if (!(info & DACL_SECURITY_INFORMATION)) info |= DACL_SECURITY_INFORMATION, dacl = stand_in.Dacl();
  }
  // The rights the handle needs for it.
  REGSAM Access() const {
    REGSAM access = 0;
    if (info & DACL_SECURITY_INFORMATION) access |= WRITE_DAC;
    if (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) access |= WRITE_OWNER;
    if (info & SACL_SECURITY_INFORMATION) access |= ACCESS_SYSTEM_SECURITY;
    return access;
  }
  void To(HKEY handle, const wchar_t* what) const {
    if (LONG status = registry::WriteSecurity(handle, info, owner, group, dacl, sacl))
      Fail(static_cast<DWORD>(status), what);
  }
};

void SetSecurity(const registry::KeyName& key, std::wstring_view text) {
  RefuseLostSpaces(key);
  const SddlDescriptor descriptor(text);  // checked whole before anything is written
  Write write{descriptor.Parts(), descriptor.Owner(), descriptor.Group(), descriptor.Dacl(), descriptor.Sacl()};
  PrivilegeScope sacl(SaclPrivilege(write.info));
  RequireAll(sacl);
  // Another owner than the caller may be set with these where the token
  // holds them; without them the registry decides.
  std::vector<const wchar_t*> owner_privileges;
  if ((write.info & OWNER_SECURITY_INFORMATION) && !TokenMayOwn(descriptor.Owner()))
    owner_privileges = {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME};
  PrivilegeScope owner(owner_privileges);
  std::optional<SddlDescriptor> stand_in;
  if (ReadsAsStandIn(key)) write.KeepStandIn(stand_in.emplace(kWineStandIn));
  unique_hkey handle = Open(key, write.Access(), L"to change its security");
  write.To(handle.get(), L"its security descriptor cannot be set");
}

// One change of the DACL, written only when it changes anything.
template <typename Change>
void ChangeDacl(const registry::KeyName& key, Change&& change) {
  RefuseLostSpaces(key);
  // A change that changes nothing (a Revoke of an account without entries,
  // a Grant of rights it has) needs no right to write: where WRITE_DAC is
  // denied, the DACL is read, and only a real change is refused.
  unique_hkey handle;
  const bool may_write = registry::OpenKey(key.root, key.path.c_str(), static_cast<UINT>(key.path.size()),
                                           READ_CONTROL | WRITE_DAC | key.view, handle) == registry::kSuccess;
  if (!may_write) handle = Open(key, READ_CONTROL, L"to read its DACL");
  // Under Wine the owner and group come along, to tell the stand-in.
  const std::vector<BYTE> descriptor = ReadSecurity(handle.get(), UnderWine() ? kOgd : DACL_SECURITY_INFORMATION);
  bool is_protected = false;
  AclEdit acl(DaclOf(descriptor, is_protected));
  if (!change(acl)) return;
  if (!may_write) handle = Open(key, READ_CONTROL | WRITE_DAC, L"to change its DACL");  // refused, as it was
  std::vector<BYTE> list = acl.Bytes();
  Write write{DACL_SECURITY_INFORMATION |
                  (is_protected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION),
              nullptr, nullptr, reinterpret_cast<PACL>(list.data()), nullptr};
  std::optional<SddlDescriptor> stand_in;
  if (IsStandIn(descriptor)) {
    write.KeepStandIn(stand_in.emplace(kWineStandIn));
    handle = Open(key, write.Access(), L"to change its DACL");
  }
  write.To(handle.get(), L"its DACL cannot be set");
}

std::wstring TextArgument(const VARIANT& value, const wchar_t* what) {
  unique_bstr text = arguments::Text(value, what);
  return std::wstring(text.get() ? text.get() : L"", ::SysStringLen(text.get()));
}

bool CheckAccess(const registry::KeyName& key, ACCESS_MASK rights) {
  unique_hkey handle;
  const LONG status = registry::OpenKey(key.root, key.path.c_str(), static_cast<UINT>(key.path.size()),
                                        rights | key.view, handle);
  if (status == registry::kSuccess) return true;
  if (status == ERROR_ACCESS_DENIED) return false;
  if (status == ERROR_FILE_NOT_FOUND) throw Error(HRESULT_FROM_WIN32(status), L"the key does not exist");
  Fail(static_cast<DWORD>(status), L"the key cannot be opened with those rights");
}

unique_variant TextValue(std::wstring_view text) { return TextVariant(text.data(), text.size()); }

// Each entry of the DACL as (kind, account, rights, inherited, passed on to
// sub-keys); a kind other than allow and deny is its ACE type number.
unique_variant AccessRules(const registry::KeyName& key) {
  std::vector<BYTE> descriptor;
  {
    unique_hkey handle = Open(key, READ_CONTROL, L"to read its DACL");
    descriptor = ReadSecurity(handle.get(), DACL_SECURITY_INFORMATION);
  }  // closed before the names are looked up
  bool is_protected = false;
  const AclEdit acl(DaclOf(descriptor, is_protected));
  std::map<std::vector<BYTE>, std::wstring> names;  // each account looked up once
  VariantArray rules(static_cast<ULONG>(acl.Count()));
  for (size_t i = 0; i < acl.Count(); ++i) {
    const AceView entry = acl.Entry(i);
    VariantArray rule(5);
    if (entry.type == ACCESS_ALLOWED_ACE_TYPE || entry.type == ACCESS_DENIED_ACE_TYPE) {
      rule[0] = TextValue(entry.type == ACCESS_ALLOWED_ACE_TYPE ? L"Allow" : L"Deny").release();
    } else {
      V_VT(&rule[0]) = VT_I4;
      V_I4(&rule[0]) = entry.type;
    }
    if (entry.sid) {
      const BYTE* sid = reinterpret_cast<const BYTE*>(entry.sid);
      std::vector<BYTE> bytes(sid, sid + ::GetLengthSid(const_cast<SID*>(entry.sid)));
      auto found = names.find(bytes);
      if (found == names.end()) found = names.emplace(bytes, AccountName(bytes.data())).first;
      rule[1] = TextValue(found->second).release();
    }
    rule[2] = TextValue(RightsText(entry.mask)).release();
    rule[3] = BoolVariant((entry.flags & INHERITED_ACE) != 0).release();
    rule[4] = BoolVariant((entry.flags & CONTAINER_INHERIT_ACE) != 0).release();
    rules[static_cast<ULONG>(i)] = rule.Done().release();
  }
  return rules.Done();
}

}  // namespace

void ServeKeyMember(const registry::KeyName& key, const ExtraMember& member, ExtraCall& call) {
  try {
    switch (member.id) {
      case VORN_DISPID_GETSECURITY: {
        SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        if (call.arguments[0]) parts = PartsFromLetters(TextArgument(*call.arguments[0], L"Parts"));
        call.result = TextValue(GetSecurity(key, parts));
        break;
      }
      case VORN_DISPID_SETSECURITY:
        SetSecurity(key, TextArgument(*call.arguments[0], L"Sddl"));
        call.result = BoolVariant(true);
        break;
      case VORN_DISPID_GRANT:
      case VORN_DISPID_DENY: {
        const std::vector<BYTE> sid = AccountSid(TextArgument(*call.arguments[0], L"Account"));
        const ACCESS_MASK rights = Rights(*call.arguments[1]);
        const bool sub_keys = !call.arguments[2] || arguments::Boolean(*call.arguments[2], L"SubKeys");
        ChangeDacl(key, [&](AclEdit& acl) {
          return acl.Add(member.id == VORN_DISPID_DENY, reinterpret_cast<const SID*>(sid.data()), rights,
                         sub_keys ? CONTAINER_INHERIT_ACE : 0);
        });
        call.result = BoolVariant(true);
        break;
      }
      case VORN_DISPID_REVOKE: {
        const std::vector<BYTE> sid = AccountSid(TextArgument(*call.arguments[0], L"Account"));
        ChangeDacl(key, [&](AclEdit& acl) { return acl.Remove(reinterpret_cast<const SID*>(sid.data())); });
        call.result = BoolVariant(true);
        break;
      }
      case VORN_DISPID_CHECKACCESS: call.result = BoolVariant(CheckAccess(key, Rights(*call.arguments[0]))); break;
      case VORN_DISPID_ACCESSRULES: call.result = AccessRules(key); break;
      default: break;
    }
  } catch (const Error& e) {
    throw Error(e.hr(), std::wstring(member.name) + L" on \"" + registry::KeyDisplayName(key.root, key.path) +
                            L"\": " + e.description());
  }
}

}  // namespace vorn::security
