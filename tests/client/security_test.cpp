// clsKey's security members as a C++ client calls them through IDispatch,
// against the platform's own reading and setting of the same keys. Every
// check stays within this one process, so the prefix's registry server,
// which keeps key security only while it runs, lives throughout.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "client_support.h"

namespace client {
namespace {

constexpr DISPID kPath = 0x68030001, kHkey = 0x68030002;
constexpr SECURITY_INFORMATION kAll =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// SeSecurityPrivilege, enabled in the process token for the test's own
// reads and writes of a SACL.
struct SaclPrivilege {
  HANDLE token = nullptr;
  TOKEN_PRIVILEGES state{1, {{{}, SE_PRIVILEGE_ENABLED}}};
  SaclPrivilege() {
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token);
    ::LookupPrivilegeValueW(nullptr, SE_SECURITY_NAME, &state.Privileges[0].Luid);
    ::AdjustTokenPrivileges(token, FALSE, &state, sizeof state, nullptr, nullptr);
  }
  ~SaclPrivilege() {
    state.Privileges[0].Attributes = 0;
    ::AdjustTokenPrivileges(token, FALSE, &state, sizeof state, nullptr, nullptr);
    ::CloseHandle(token);
  }
};

// The platform's SDDL of parts info of HKCU\path.
std::wstring Platform(const std::wstring& path, SECURITY_INFORMATION info = kAll) {
  SaclPrivilege privilege;
  HKEY key = nullptr;
  const REGSAM access = READ_CONTROL | (info & SACL_SECURITY_INFORMATION ? ACCESS_SYSTEM_SECURITY : 0);
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key)) return L"<cannot open>";
  BYTE descriptor[8192];
  DWORD size = sizeof descriptor;
  LONG status = ::RegGetKeySecurity(key, info, descriptor, &size);
  ::RegCloseKey(key);
  LPWSTR text = nullptr;
  if (status || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, info, &text,
                                                                        nullptr))
    return L"<cannot read>";
  std::wstring result = text;
  ::LocalFree(text);
  return result;
}

// The platform's text of an SDDL text: how it writes what it reads.
std::wstring Canonical(const wchar_t* text) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  LPWSTR back = nullptr;
  EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor, nullptr));
  ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kAll, &back, nullptr);
  std::wstring result = back ? back : L"";
  ::LocalFree(back), ::LocalFree(descriptor);
  return result;
}

// Sets the parts that text holds on HKCU\path through SetSecurityInfo, as a
// program would with the platform's calls alone. (Wine's SetSecurityInfo
// drops the P flag of a list, which its RegSetKeySecurity keeps.)
void PlatformSet(const std::wstring& path, const wchar_t* text) {
  SaclPrivilege privilege;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &sd, nullptr));
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr, sacl = nullptr;
  BOOL has_dacl = FALSE, has_sacl = FALSE, defaulted = FALSE;
  ::GetSecurityDescriptorOwner(sd, &owner, &defaulted), ::GetSecurityDescriptorGroup(sd, &group, &defaulted);
  ::GetSecurityDescriptorDacl(sd, &has_dacl, &dacl, &defaulted), ::GetSecurityDescriptorSacl(sd, &has_sacl, &sacl, &defaulted);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(sd, &control, &revision);
  const SECURITY_INFORMATION info =
      (owner ? OWNER_SECURITY_INFORMATION : 0) | (group ? GROUP_SECURITY_INFORMATION : 0) |
      (has_dacl ? DACL_SECURITY_INFORMATION : 0) | (has_sacl ? SACL_SECURITY_INFORMATION : 0) |
      (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION : 0);
  HKEY key = nullptr;
  ASSERT_EQ(0, ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY,
                               &key));
  EXPECT_EQ(0u, ::SetSecurityInfo(key, SE_REGISTRY_KEY, info, owner, group, dacl, sacl)) << Narrow(text);
  ::RegCloseKey(key), ::LocalFree(sd);
}

struct Security : ::testing::Test {
  ScratchKey scratch;
  ComPtr<IDispatch> key = KeyAt(scratch.path);
  std::wstring description;
  // A DACL a test left may keep the scratch key from being deleted.
  ~Security() override { PlatformSet(scratch.path, L"D:(A;;KA;;;WD)"); }

  static ComPtr<IDispatch> KeyAt(const std::wstring& path) {
    ComPtr<IDispatch> k = Create<IDispatch>(CLSID_clsKey, IID_IDispatch);
    EXPECT_TRUE(k);
    if (k) {
      EXPECT_EQ(S_OK, Invoke(k.Get(), kHkey, kPut, {kCurrentUser}));
      EXPECT_EQ(S_OK, Invoke(k.Get(), kPath, kPut, {path}));
    }
    return k;
  }
  // Member id (or the member name) called on object: S_OK or the error's
  // number, with its description kept.
  HRESULT Call(IDispatch* object, DISPID id, std::vector<Variant> args, Variant* result = nullptr,
               WORD flags = kCall) {
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    Variant ignored;
    EXCEPINFO error{};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result ? result : &ignored,
                                &error, nullptr);
    description = error.bstrDescription ? error.bstrDescription : L"";
    ::SysFreeString(error.bstrDescription), ::SysFreeString(error.bstrSource), ::SysFreeString(error.bstrHelpFile);
    return hr == DISP_E_EXCEPTION ? error.scode : hr;
  }
  static DISPID Id(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    return id;
  }
  // A member that must succeed, with its result.
  Variant Ok(DISPID id, std::vector<Variant> args = {}, IDispatch* object = nullptr) {
    Variant result;
    EXPECT_EQ(S_OK, Call(object ? object : key.Get(), id, std::move(args), &result)) << Narrow(description);
    return result;
  }
  bool True(DISPID id, std::vector<Variant> args = {}) {
    Variant result = Ok(id, std::move(args));
    return V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
  }
};

SECURITY_INFORMATION Info(const std::wstring& letters) {
  SECURITY_INFORMATION info = 0;
  for (wchar_t c : letters)
    info |= c == L'O' || c == L'o'   ? OWNER_SECURITY_INFORMATION
            : c == L'G' || c == L'g' ? GROUP_SECURITY_INFORMATION
            : c == L'D' || c == L'd' ? DACL_SECURITY_INFORMATION
                                     : SACL_SECURITY_INFORMATION;
  return info;
}

TEST_F(Security, GetSecurityIsThePlatformsOwnSddlOfEachPart) {
  PlatformSet(scratch.path, L"O:BAG:SYD:(D;;KW;;;AU)(A;CI;KA;;;BA)(A;;KR;;;BU)S:(AU;SA;KA;;;WD)");
  for (const wchar_t* parts : {L"O", L"G", L"D", L"S", L"ogds", L"DS", L"GO"})
    EXPECT_EQ(Platform(scratch.path, Info(parts)), Ok(VORN_DISPID_GETSECURITY, {parts}).Text()) << Narrow(parts);
  EXPECT_EQ(Platform(scratch.path, Info(L"OGD")), Ok(VORN_DISPID_GETSECURITY).Text()) << "the default is OGD";
}

// The parts a text holds read back as the platform writes them; the others
// stay as they were. (Under Wine the platform's own first set of some parts
// of a key takes the others from the caller's token instead.)
TEST_F(Security, SetSecurityOfValidTextReadsBackAsThePlatformWritesIt) {
  scratch.Make(L"mine"), scratch.Make(L"platform's");
  ComPtr<IDispatch> mine = KeyAt(scratch.Below(L"mine"));
  const std::pair<const wchar_t*, const wchar_t*> texts[] = {
      {L"D:(A;;KA;;;WD)", L"D"}, {L"O:SYG:SYD:(A;;KA;;;WD)", L"OGD"}, {L"O:BA", L"O"},
      {L"D:P(D;;KW;;;AU)(A;CI;KR;;;BU)(A;;KA;;;BA)(A;;0x80000000;;;S-1-5-21-1-2-3-4)", L"D"},
      {L"S:(AU;SA;KA;;;WD)", L"S"}, {L"G:BU S:", L"GS"}, {L"D:", L"D"},
      {L"O:BAG:BAD:(A;;KA;;;WD)(A;CIIO;GR;;;BU)S:", L"OGDS"}};
  for (const auto& [text, parts] : texts) {
    std::wstring before[4];
    for (int i = 0; i < 4; ++i) before[i] = Platform(scratch.Below(L"mine"), Info(std::wstring(1, L"OGDS"[i])));
    Variant result = Ok(VORN_DISPID_SETSECURITY, {text}, mine.Get());
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&result));
    PlatformSet(scratch.Below(L"platform's"), text);
    EXPECT_EQ(Platform(scratch.Below(L"platform's"), Info(parts)), Platform(scratch.Below(L"mine"), Info(parts)))
        << Narrow(text);
    for (int i = 0; i < 4; ++i) {
      if (std::wstring(parts).find(L"OGDS"[i]) != std::wstring::npos) continue;
      EXPECT_EQ(before[i], Platform(scratch.Below(L"mine"), Info(std::wstring(1, L"OGDS"[i])))) << Narrow(text);
    }
  }
}

TEST_F(Security, GrantDenyAndRevokeKeepCanonicalOrderAndEveryOtherEntry) {
  PlatformSet(scratch.path, L"D:(D;;KW;;;AU)(A;;KR;;;BU)(A;CIIO;GR;;;BU)(A;CI;KA;;;BA)"
                            L"(A;;0x80000000;;;S-1-5-21-1-2-3-4)(A;ID;KR;;;SY)");
  EXPECT_TRUE(True(VORN_DISPID_GRANT, {L"Users", L"SetValue", 0L}));  // merged
  EXPECT_TRUE(True(VORN_DISPID_GRANT, {L"BU", L"SetValue"}));                   // passed on: a new entry
  EXPECT_TRUE(True(VORN_DISPID_DENY, {L"Everyone", L"SetValue"}));
  EXPECT_TRUE(True(VORN_DISPID_DENY, {L"S-1-1-0", L"delete"}));
  EXPECT_EQ(Canonical(L"D:(D;;KW;;;AU)(D;CI;0x10002;;;WD)(A;;0x2001b;;;BU)(A;CIIO;GR;;;BU)(A;CI;KA;;;BA)"
                      L"(A;;0x80000000;;;S-1-5-21-1-2-3-4)(A;CI;0x2;;;BU)(A;ID;KR;;;SY)"),
            Platform(scratch.path, DACL_SECURITY_INFORMATION));
  EXPECT_TRUE(True(VORN_DISPID_REVOKE, {L"BUILTIN\\Users"}));
  EXPECT_TRUE(True(VORN_DISPID_REVOKE, {L"SY"})) << "an account with inherited entries only is no error";
  const wchar_t* left = L"D:(D;;KW;;;AU)(D;CI;0x10002;;;WD)(A;CI;KA;;;BA)(A;;0x80000000;;;S-1-5-21-1-2-3-4)"
                        L"(A;ID;KR;;;SY)";
  EXPECT_EQ(Canonical(left), Platform(scratch.path, DACL_SECURITY_INFORMATION));

  // AccessRules: the same entries, in order, as scripts index them.
  const std::vector<std::vector<std::wstring>> expected = {
      {L"Deny", L"NT AUTHORITY\\Authenticated Users", L"Write", L"False", L"False"},
      {L"Deny", L"Everyone", L"SetValue, Delete", L"False", L"True"},
      {L"Allow", L"BUILTIN\\Administrators", L"FullControl", L"False", L"True"},
      {L"Allow", L"S-1-5-21-1-2-3-4", L"0x80000000", L"False", L"False"},
      {L"Allow", L"NT AUTHORITY\\SYSTEM", L"Read", L"True", L"False"}};
  Variant rules;
  ASSERT_EQ(S_OK, Call(key.Get(), VORN_DISPID_ACCESSRULES, {}, &rules, kGet)) << Narrow(description);
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(&rules));
  std::vector<std::vector<std::wstring>> seen;
  for (LONG i = 0; i <= static_cast<LONG>(V_ARRAY(&rules)->rgsabound[0].cElements) - 1; ++i) {
    Variant rule;
    ::SafeArrayGetElement(V_ARRAY(&rules), &i, &rule);
    seen.emplace_back();
    for (LONG j = 0; V_VT(&rule) == (VT_ARRAY | VT_VARIANT) && j < 5; ++j) {
      Variant field;
      ::SafeArrayGetElement(V_ARRAY(&rule), &j, &field);
      if (V_VT(&field) == VT_BOOL) seen.back().push_back(V_BOOL(&field) ? L"True" : L"False");
      else seen.back().push_back(field.Text());
    }
  }
  EXPECT_EQ(expected, seen);
  Ok(VORN_DISPID_SETSECURITY, {L"D:"});
  ASSERT_EQ(S_OK, Call(key.Get(), VORN_DISPID_ACCESSRULES, {}, &rules, kGet));
  EXPECT_EQ(0u, V_ARRAY(&rules)->rgsabound[0].cElements) << "an empty DACL gives an empty array";
  Ok(VORN_DISPID_SETSECURITY, {L"D:(A;;KA;;;WD)"});
}

TEST_F(Security, ADeniedRightIsEnforcedAndComesBackAfterRevoke) {
  ComPtr<IDispatch> values = Create<IDispatch>(CLSID_clsValues, IID_IDispatch);
  ASSERT_TRUE(values);
  Variant ok;
  auto set_value = [&] {
    EXPECT_EQ(S_OK, Call(values.Get(), Id(values.Get(), L"SetValue"), {L"Setting", 7L, 4L}, &ok))
        << Narrow(description);
    return V_VT(&ok) == VT_BOOL && V_BOOL(&ok) == VARIANT_TRUE;
  };
  EXPECT_EQ(S_OK, Invoke(values.Get(), Id(values.Get(), L"HKEY"), kPut, {kCurrentUser}));
  EXPECT_EQ(S_OK, Invoke(values.Get(), Id(values.Get(), L"Path"), kPut, {scratch.path}));
  ASSERT_TRUE(set_value());
  const std::wstring owner_and_group = Platform(scratch.path, Info(L"OG"));
  EXPECT_TRUE(True(VORN_DISPID_DENY, {L"Everyone", L"SetValue"}));
  EXPECT_FALSE(set_value()) << "a write the registry refuses answers False, as every write does";
  EXPECT_FALSE(True(VORN_DISPID_CHECKACCESS, {L"SetValue"}));
  EXPECT_TRUE(True(VORN_DISPID_CHECKACCESS, {L"Read"}));
  EXPECT_TRUE(True(VORN_DISPID_REVOKE, {L"Everyone"}));
  EXPECT_TRUE(True(VORN_DISPID_CHECKACCESS, {static_cast<LONG>(KEY_SET_VALUE)}));
  EXPECT_TRUE(set_value());
  EXPECT_EQ(owner_and_group, Platform(scratch.path, Info(L"OG"))) << "a change of the DACL keeps owner and group";

  // Without the right to change the DACL (another owner; everyone may read
  // and delete, no more), a Revoke that changes nothing is no error, and a
  // Grant is refused.
  scratch.Make(L"read only");
  PlatformSet(scratch.Below(L"read only"), L"O:SYD:(A;;KR;;;WD)(A;;SD;;;WD)");
  ComPtr<IDispatch> read_only = KeyAt(scratch.Below(L"read only"));
  Variant revoked = Ok(VORN_DISPID_REVOKE, {L"Users"}, read_only.Get());
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&revoked));
  EXPECT_EQ(E_ACCESSDENIED, Call(read_only.Get(), VORN_DISPID_GRANT, {L"Users", L"Read"})) << Narrow(description);
}

TEST_F(Security, RefusalsNameTheKeyAndChangeNothing) {
  PlatformSet(scratch.path, L"O:BAG:BAD:(A;;KA;;;BA)(A;CI;KR;;;BU)S:(AU;SA;KA;;;WD)");
  const std::wstring before = Platform(scratch.path);
  const std::wstring name = L"\"HKEY_CURRENT_USER\\" + scratch.path + L"\": ";
  struct Refusal {
    DISPID id;
    const wchar_t* member;
    std::vector<Variant> args;
    HRESULT hr;
  };
  const HRESULT kArgument = static_cast<HRESULT>(0x800A0005), kUnknown = HRESULT_FROM_WIN32(ERROR_NONE_MAPPED);
  const Refusal refusals[] = {
      {VORN_DISPID_SETSECURITY, L"SetSecurity", {L"D:(A;;XX;;;WD)"}, HRESULT_FROM_WIN32(ERROR_INVALID_ACL)},
      {VORN_DISPID_SETSECURITY, L"SetSecurity", {L"D:NO_ACCESS_CONTROL"}, kArgument},
      {VORN_DISPID_SETSECURITY, L"SetSecurity", {L"O:SYD:(A;;KA;;;BA) (A;;KR;;;BU)"}, kArgument},
      {VORN_DISPID_SETSECURITY, L"SetSecurity", {L""}, kArgument},
      {VORN_DISPID_GRANT, L"Grant", {L"Nobody Known", L"Read"}, kUnknown},
      {VORN_DISPID_DENY, L"Deny", {L"Users", L"Read, Raed"}, kArgument},
      {VORN_DISPID_REVOKE, L"Revoke", {L"Nobody Known"}, kUnknown},
      {VORN_DISPID_REVOKE, L"Revoke", {L""}, kUnknown},  // the lookup would answer the local domain
      {VORN_DISPID_GRANT, L"Grant", {L"BUILTIN", L"Read"}, kUnknown},  // a domain, not an account
  };
  for (const Refusal& r : refusals) {
    EXPECT_EQ(r.hr, Call(key.Get(), r.id, r.args)) << Narrow(r.member) << ": " << Narrow(description);
    EXPECT_EQ(0u, description.find(r.member + (L" on " + name))) << Narrow(description);
    EXPECT_EQ(before, Platform(scratch.path)) << Narrow(description);
  }
  ComPtr<IDispatch> missing = KeyAt(scratch.Below(L"missing"));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Call(missing.Get(), VORN_DISPID_CHECKACCESS, {L"Read"}));

  // Without SeSecurityPrivilege in the token (here an impersonation token
  // that lacks it), the SACL is refused both ways.
  HANDLE process = nullptr, stripped = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE, &process));
  ASSERT_TRUE(::DuplicateTokenEx(process, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                                 &stripped));
  TOKEN_PRIVILEGES removed{1, {{{}, SE_PRIVILEGE_REMOVED}}};
  ::LookupPrivilegeValueW(nullptr, SE_SECURITY_NAME, &removed.Privileges[0].Luid);
  ASSERT_TRUE(::AdjustTokenPrivileges(stripped, FALSE, &removed, sizeof removed, nullptr, nullptr));
  ASSERT_TRUE(::SetThreadToken(nullptr, stripped));
  const HRESULT get = Call(key.Get(), VORN_DISPID_GETSECURITY, {L"S"});
  const std::wstring get_said = description;
  const HRESULT set = Call(key.Get(), VORN_DISPID_SETSECURITY, {L"S:"});
  ::RevertToSelf();
  ::CloseHandle(stripped), ::CloseHandle(process);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PRIVILEGE_NOT_HELD), get) << Narrow(get_said);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PRIVILEGE_NOT_HELD), set) << Narrow(description);
  EXPECT_NE(std::wstring::npos, get_said.find(L"SeSecurityPrivilege")) << Narrow(get_said);
  EXPECT_EQ(before, Platform(scratch.path));
}

}  // namespace
}  // namespace client
