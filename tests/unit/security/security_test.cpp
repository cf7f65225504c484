// Key security without the registry (the ACL edit, rights words, SDDL
// checks, privileges for one call), and what the key object's security
// members open, over the recording binding.
#include <windows.h>
#include <sddl.h>

#include <functional>

#include "harness/registry_test.h"
#include "keys/key.h"
#include "security/accounts.h"
#include "security/acl_edit.h"
#include "security/privileges.h"
#include "security/rights.h"
#include "security/sddl.h"

namespace vorn {
namespace {

using namespace test;
using namespace security;

// The DACL of an SDDL text, as the platform's converter makes it.
struct Dacl {
  unique_local descriptor;
  explicit Dacl(const wchar_t* text) {
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor.ref(),
                                                                       nullptr)) << Narrow(text);
  }
  const ACL* acl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ::GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted);
    return acl;
  }
  std::vector<BYTE> bytes() const {
    const BYTE* first = reinterpret_cast<const BYTE*>(acl());
    return std::vector<BYTE>(first, first + acl()->AclSize);
  }
};

std::vector<BYTE> Sid(const wchar_t* text) {
  unique_local sid;
  EXPECT_TRUE(::ConvertStringSidToSidW(text, &sid.ref()));
  const BYTE* first = static_cast<const BYTE*>(sid.get());
  return std::vector<BYTE>(first, first + ::GetLengthSid(sid.get()));
}
const SID* S(const std::vector<BYTE>& sid) { return reinterpret_cast<const SID*>(sid.data()); }

HRESULT HrOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const Error& e) {
    return e.hr();
  }
  return S_OK;
}

TEST(AclEdit, MergesInsertsInCanonicalOrderAndRemovesOnlyExplicitEntries) {
  const Dacl start(L"D:(D;;KW;;;AU)(A;;KR;;;BU)(A;CIIO;GR;;;BU)(A;CI;KA;;;BA)(A;ID;KR;;;SY)");
  AclEdit acl(start.acl());
  const std::vector<BYTE> users = Sid(L"BU"), everyone = Sid(L"WD"), system = Sid(L"SY");
  // Into the explicit allow entry of the same account and inheritance; the
  // same rights again change nothing.
  EXPECT_TRUE(acl.Add(false, S(users), KEY_SET_VALUE, 0));
  EXPECT_FALSE(acl.Add(false, S(users), KEY_SET_VALUE, 0));
  // Other inheritance: a new entry last among the explicit ones.
  EXPECT_TRUE(acl.Add(false, S(users), KEY_SET_VALUE, CONTAINER_INHERIT_ACE));
  // A deny entry after the leading deny entries, then merged into.
  EXPECT_TRUE(acl.Add(true, S(everyone), KEY_SET_VALUE, CONTAINER_INHERIT_ACE));
  EXPECT_TRUE(acl.Add(true, S(everyone), DELETE, CONTAINER_INHERIT_ACE));
  EXPECT_EQ(Dacl(L"D:(D;;KW;;;AU)(D;CI;0x10002;;;WD)(A;;0x2001b;;;BU)(A;CIIO;GR;;;BU)(A;CI;KA;;;BA)"
                 L"(A;CI;0x2;;;BU)(A;ID;KR;;;SY)").bytes(),
            acl.Bytes());
  // Every explicit entry of the account goes; an inherited one stays.
  EXPECT_TRUE(acl.Remove(S(users)));
  EXPECT_FALSE(acl.Remove(S(system)));
  EXPECT_EQ(Dacl(L"D:(D;;KW;;;AU)(D;CI;0x10002;;;WD)(A;CI;KA;;;BA)(A;ID;KR;;;SY)").bytes(), acl.Bytes());
  ASSERT_EQ(4u, acl.Count());
  const AceView view = acl.Entry(1);
  EXPECT_EQ(ACCESS_DENIED_ACE_TYPE, view.type);
  EXPECT_EQ(CONTAINER_INHERIT_ACE, view.flags);
  EXPECT_EQ(0x10002u, view.mask);
  EXPECT_TRUE(view.sid && ::EqualSid(const_cast<SID*>(view.sid), const_cast<BYTE*>(everyone.data())));
}

TEST(AclEdit, ANullListMeansEveryoneAndAMalformedOrOversizedOneIsRefused) {
  AclEdit open(nullptr);
  const std::vector<BYTE> users = Sid(L"BU");
  EXPECT_TRUE(open.Add(true, S(users), KEY_SET_VALUE, 0));
  EXPECT_EQ(Dacl(L"D:(D;;0x2;;;BU)(A;;KA;;;WD)").bytes(), open.Bytes());

  Dacl broken(L"D:(A;;KA;;;WD)");
  reinterpret_cast<ACE_HEADER*>(const_cast<ACL*>(broken.acl()) + 1)->AceSize = 200;  // past the list's end
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_ACL), HrOf([&] { AclEdit{broken.acl()}; }));

  AclEdit big(nullptr);
  for (int i = 0; i < 2000; ++i)
    big.Add(false, S(Sid((L"S-1-5-21-1-2-3-" + std::to_wstring(i)).c_str())), KEY_READ, 0);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALLOTTED_SPACE_EXCEEDED), HrOf([&] { big.Bytes(); }));
}

TEST(Rights, WordsAndNumbersBothWays) {
  const std::pair<const wchar_t*, ACCESS_MASK> parsed[] = {
      {L"read", KEY_READ}, {L" Read , SetValue ", KEY_READ | KEY_SET_VALUE}, {L"FULLCONTROL", KEY_ALL_ACCESS},
      {L"Delete,TakeOwnership", DELETE | WRITE_OWNER}, {L"0x80000000", GENERIC_READ}, {L"&H20019", KEY_READ},
      {L"131097", KEY_READ}, {L"Notify, 0x100000", KEY_NOTIFY | SYNCHRONIZE}};
  for (const auto& [text, mask] : parsed) EXPECT_EQ(mask, ParseRights(text)) << Narrow(text);
  for (const wchar_t* refused : {L"Raed", L"", L"Read,,Write", L"Read,", L"0x1FFFFFFFF", L"12ab", L"0"})
    EXPECT_EQ(errors::kInvalidProcedureCall, HrOf([&] { ParseRights(refused); })) << Narrow(refused);

  EXPECT_EQ(L"FullControl", RightsText(KEY_ALL_ACCESS));
  EXPECT_EQ(L"Read, SetValue", RightsText(KEY_READ | KEY_SET_VALUE));
  EXPECT_EQ(L"Read, Write", RightsText(KEY_READ | KEY_WRITE));
  EXPECT_EQ(L"QueryValues, ReadPermissions, 0x80000000", RightsText(GENERIC_READ | READ_CONTROL | KEY_QUERY_VALUE));
  for (ACCESS_MASK mask : {ACCESS_MASK{KEY_ALL_ACCESS | GENERIC_ALL}, ACCESS_MASK{0xFFFFFFFF}, ACCESS_MASK{KEY_WRITE | DELETE}})
    EXPECT_EQ(mask, ParseRights(RightsText(mask))) << std::hex << mask;

  unique_variant number = VI4(static_cast<LONG>(0x80000000));  // how VBScript holds &H80000000
  EXPECT_EQ(GENERIC_READ, Rights(number.ref()));
  EXPECT_EQ(errors::kInvalidProcedureCall, HrOf([&] { Rights(VI4(0).ref()); }));
}

TEST(Sddl, TextIsCheckedWholeAndEveryPartItHoldsIsSet) {
  const std::pair<const wchar_t*, SECURITY_INFORMATION> accepted[] = {
      {L"O:BAG:BA", OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION},
      {L"D:P(A;;KA;;;WD)", DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION},
      {L"O:BA D:(A;;KA;;;BA)(A;CI;KR;;;BU)",
       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION},
      {L"S:", SACL_SECURITY_INFORMATION | UNPROTECTED_SACL_SECURITY_INFORMATION},
      {L"D:", DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION}};
  for (const auto& [text, parts] : accepted) EXPECT_EQ(parts, SddlDescriptor(text).Parts()) << Narrow(text);

  // Refused by these checks (5): no part, a null DACL, text the converter
  // would skip, a part twice.
  for (const wchar_t* text : {L"", L"  ", L"D:NO_ACCESS_CONTROL", L"D:NO_ACCESS_CONTROL(A;;KA;;;WD)",
                              L"D:(A;;KA;;;BA) (A;;KR;;;BU)", L"D:(A;;KA;;;BA)x", L"O:BAX", L"O:BAXG:BA",
                              L"D:(A;;KA;;;BA)D:(A;;KR;;;BU)"})
    EXPECT_EQ(errors::kInvalidProcedureCall, HrOf([&] { SddlDescriptor{text}; })) << Narrow(text);
  // What would lock a key or put into it a SID nothing reads back: text past
  // a zero character (the converter stops there), an empty owner (Wine makes
  // it S-1-0-0), 16 sub-authorities (Wine's converter takes them).
  const std::wstring sixteen = L"S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15";
  for (const std::wstring& text : {std::wstring(L"O:BA\0D:", 7), std::wstring(L"O:"), std::wstring(L"G: D:"),
                                   L"O:" + sixteen, L"D:(A;;KA;;;" + sixteen + L")"})
    EXPECT_NE(S_OK, HrOf([&] { SddlDescriptor{text}; })) << Narrow(text);
  for (const std::wstring& account : {sixteen, std::wstring(L"Users\0junk", 10)})
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NONE_MAPPED), HrOf([&] { AccountSid(account); })) << Narrow(account);

  // Refused by the converter, naming the entry.
  try {
    SddlDescriptor{L"O:BAD:(A;;KA;;;BA)(A;;XX;;;WD)"};
    ADD_FAILURE() << "an unknown right was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_ACL), e.hr());
    EXPECT_NE(std::wstring::npos, e.description().find(L"the entry \"(A;;XX;;;WD)\" is refused"))
        << Narrow(e.description());
  }

  EXPECT_EQ(static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                              DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION),
            PartsFromLetters(L"sDgo"));
  for (const wchar_t* letters : {L"", L"OX", L"O D"})
    EXPECT_EQ(errors::kInvalidProcedureCall, HrOf([&] { PartsFromLetters(letters); })) << Narrow(letters);
}

// The state of SeSecurityPrivilege for this thread (its token while it
// impersonates), and in the process token.
bool SecurityPrivilegeEnabled(bool process) {
  HANDLE token = nullptr;
  if (process || !::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token))
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
  LUID luid{};
  ::LookupPrivilegeValueW(nullptr, SE_SECURITY_NAME, &luid);
  PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
  BOOL enabled = FALSE;
  ::PrivilegeCheck(token, &set, &enabled);
  ::CloseHandle(token);
  return enabled;
}

TEST(Privileges, AreEnabledForTheThreadInTheScopeAndPutBackAsTheyWere) {
  ASSERT_FALSE(SecurityPrivilegeEnabled(false));
  {
    PrivilegeScope scope({SE_SECURITY_NAME});
    EXPECT_TRUE(scope.AllHeld());
    EXPECT_TRUE(SecurityPrivilegeEnabled(false));
    EXPECT_FALSE(SecurityPrivilegeEnabled(true)) << "the process token, which other threads use, is not touched";
    {
      PrivilegeScope again({SE_SECURITY_NAME, L"SeNoSuchPrivilege"});
      EXPECT_FALSE(again.AllHeld());
    }
    EXPECT_TRUE(SecurityPrivilegeEnabled(false)) << "an inner scope must leave it as it found it: enabled";
  }
  EXPECT_FALSE(SecurityPrivilegeEnabled(false));
  HANDLE token = nullptr;
  EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) << "the thread impersonates no more";
}

class KeySecurityTest : public RegistryTest {
 protected:
  ComPtr<Key> key_ = Aimed<Key>(scratch_.Path());
  HRESULT CallMember(const wchar_t* member, std::vector<VARIANT> args = {}, VARIANT* result = nullptr) {
    return Invoke(key_->Published(), member, DISPATCH_METHOD, std::move(args), result);
  }
};

TEST_F(KeySecurityTest, OpensWithJustTheRightsNeededInTheViewAndWritesOnlyAChange) {
  ASSERT_EQ(S_OK, Invoke(key_->Published(), L"View", DISPATCH_PROPERTYPUT, {VI4(32).ref()}));
  Rec().Reset();
  unique_variant result;
  ASSERT_EQ(S_OK, CallMember(L"CheckAccess", {VStr(L"SetValue").ref()}, &result.ref()));
  ASSERT_EQ(S_OK, CallMember(L"Grant", {VStr(L"Users").ref(), VStr(L"Delete").ref()}, &result.ref()));
  ASSERT_EQ(S_OK, CallMember(L"Grant", {VStr(L"BU").ref(), VStr(L"Delete").ref()}, &result.ref()));  // no change
  std::vector<REGSAM> opened;
  for (const test::Call& c : Rec().calls) {
    if (c.fn != Fn::OpenKeyEx) continue;
    EXPECT_TRUE(c.access & KEY_WOW64_32KEY) << "every open is in the object's view";
    opened.push_back(c.access & ~KEY_WOW64_32KEY);
  }
  // Under Wine the first grant finds the key holding Wine's stand-in
  // descriptor and opens again to write the owner and group it read too.
  EXPECT_EQ((std::vector<REGSAM>{KEY_SET_VALUE, READ_CONTROL | WRITE_DAC, WRITE_DAC | WRITE_OWNER,
                                 READ_CONTROL | WRITE_DAC}),
            opened);
  EXPECT_EQ(1u, CallsOf(Fn::SetSecurityInfo)) << "the same grant again writes nothing";
}

}  // namespace
}  // namespace vorn
