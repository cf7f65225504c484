// The module's registration: what regsvr32 leaves in HKEY_CLASSES_ROOT, what
// clients do with it, and unregistering and registering again.
#include <gtest/gtest.h>

#include "client_support.h"
#include "surface/guids.h"

namespace client {
namespace {

using namespace vorn::guids;

std::wstring G(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

const wchar_t kMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";

struct Class {
  const wchar_t* prog_id;
  const CLSID& clsid;
};
const Class kClasses[] = {
    {L"VornRegAccLib.clsKey", CLSID_clsKey},
    {L"VornRegAccLib.clsKeys", CLSID_clsKeys},
    {L"VornRegAccLib.clsValues", CLSID_clsValues},
};

struct Interface {
  const wchar_t* name;
  const IID& iid;
};
const Interface kInterfaces[] = {
    {L"_clsKey", IID__clsKey},
    {L"_clsKeys", IID__clsKeys},
    {L"_clsValues", IID__clsValues},
    {L"clsValue", IID_clsValue},
};

struct Entry {
  std::wstring path;
  const wchar_t* name;  // null: the default value
  std::wstring value;
};

// Every value the registration writes below HKEY_CLASSES_ROOT.
std::vector<Entry> ExpectedEntries() {
  const std::wstring module = ModulePath();
  const std::wstring libid = G(LIBID_VornRegAccLib);
  std::vector<Entry> entries;
  for (const Class& c : kClasses) {
    const std::wstring key = L"CLSID\\" + G(c.clsid);
    entries.push_back({key, nullptr, c.prog_id});
    entries.push_back({key + L"\\InprocServer32", nullptr, module});
    entries.push_back({key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"});
    entries.push_back({key + L"\\ProgID", nullptr, c.prog_id});
    entries.push_back({key + L"\\TypeLib", nullptr, libid});
    entries.push_back({key + L"\\Version", nullptr, L"1.0"});
    entries.push_back({std::wstring(c.prog_id) + L"\\CLSID", nullptr, G(c.clsid)});
  }
  const std::wstring library = L"TypeLib\\" + libid + L"\\1.0";
  entries.push_back({library, nullptr, L"Vorn Registry Access Library"});
  entries.push_back({library + L"\\0\\win32", nullptr, module});
  entries.push_back({library + L"\\FLAGS", nullptr, L"0"});
  entries.push_back({library + L"\\HELPDIR", nullptr, L""});
  for (const Interface& i : kInterfaces) {
    const std::wstring key = L"Interface\\" + G(i.iid);
    entries.push_back({key, nullptr, i.name});
    entries.push_back({key + L"\\ProxyStubClsid", nullptr, kMarshaller});
    entries.push_back({key + L"\\ProxyStubClsid32", nullptr, kMarshaller});
    entries.push_back({key + L"\\TypeLib", nullptr, libid});
    entries.push_back({key + L"\\TypeLib", L"Version", L"1.0"});
  }
  return entries;
}

// The keys that belong to the library alone.
std::vector<std::wstring> OwnKeys() {
  std::vector<std::wstring> keys;
  for (const Class& c : kClasses) {
    keys.push_back(L"CLSID\\" + G(c.clsid));
    keys.push_back(c.prog_id);
  }
  keys.push_back(L"TypeLib\\" + G(LIBID_VornRegAccLib));
  for (const Interface& i : kInterfaces) keys.push_back(L"Interface\\" + G(i.iid));
  return keys;
}

void ExpectRegistered() {
  for (const Entry& e : ExpectedEntries()) {
    std::wstring value;
    if (!ReadString(HKEY_CLASSES_ROOT, e.path, e.name, value)) {
      ADD_FAILURE() << "missing: " << testing::PrintToString(e.path) << " "
                    << (e.name ? testing::PrintToString(e.name) : "(default)");
      continue;
    }
    // Paths compare without regard to case, like the file system.
    if (_wcsicmp(value.c_str(), e.value.c_str()) != 0)
      ADD_FAILURE() << testing::PrintToString(e.path) << ": " << testing::PrintToString(value) << ", expected "
                    << testing::PrintToString(e.value);
  }
}

void ExpectUnregistered() {
  for (const std::wstring& key : OwnKeys())
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << testing::PrintToString(key) << " is left behind";
  for (const wchar_t* shared : {L"CLSID", L"TypeLib", L"Interface"})
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, shared)) << testing::PrintToString(shared) << " was removed";
  CLSID clsid;
  EXPECT_TRUE(FAILED(CLSIDFromProgID(L"VornRegAccLib.clsKey", &clsid)));
}

// ---- With the module registered by regsvr32 --------------------------------

TEST(Registration, WritesEveryEntry) { ExpectRegistered(); }

TEST(Registration, ProgIdsNameTheCreatableClassesOnly) {
  for (const Class& c : kClasses) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(c.prog_id, &clsid)) << testing::PrintToString(c.prog_id);
    EXPECT_TRUE(IsEqualCLSID(clsid, c.clsid)) << testing::PrintToString(c.prog_id);
    LPOLESTR prog_id = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(c.clsid, &prog_id));
    EXPECT_STREQ(c.prog_id, prog_id);
    CoTaskMemFree(prog_id);
  }
  CLSID clsid;
  EXPECT_TRUE(FAILED(CLSIDFromProgID(L"VornRegAccLib.clsValue", &clsid)));
}

TEST(Registration, CoCreateInstanceMakesANewObjectEachTime) {
  for (const Class& c : kClasses) {
    SCOPED_TRACE(testing::PrintToString(c.prog_id));
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(c.prog_id, &clsid));
    ComPtr<IDispatch> first, second;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(first.GetAddressOf())));
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(second.GetAddressOf())));
    EXPECT_NE(Identity(first.Get()), Identity(second.Get()));
  }
  ComPtr<IUnknown> record;
  EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_clsValue, nullptr, CLSCTX_ALL, IID_IUnknown,
                                      reinterpret_cast<void**>(record.GetAddressOf()))));
}

TEST(Registration, TypeLibraryLoadsFromTheModule) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_VornRegAccLib, 1, 0, 0, library.GetAddressOf()));
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_VornRegAccLib));
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  library->ReleaseTLibAttr(attr);
  for (const Interface& i : kInterfaces) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(i.iid, info.GetAddressOf())) << testing::PrintToString(i.name);
  }
  BSTR path = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(LIBID_VornRegAccLib, 1, 0, 0, &path));
  EXPECT_EQ(0, _wcsicmp(path, ModulePath().c_str())) << testing::PrintToString(std::wstring(path));
  SysFreeString(path);
}

// ---- Unregistering and registering again (run alone) -----------------------

class RegistrationCycle : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Module().RegisterServer && Module().UnregisterServer); }
  // Whatever happened, leave the module registered for the other tests.
  void TearDown() override {
    for (const std::wstring& key : blockers_) RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_EQ(S_OK, Module().RegisterServer());
  }

  // Makes root\path a volatile key: every non-volatile key that the
  // registration then tries to create below it fails.
  void Block(const std::wstring& path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    blockers_.push_back(path);
  }

  std::vector<std::wstring> blockers_;
};

TEST_F(RegistrationCycle, UnregisterRemovesEveryEntryAndRegisterWritesThemAgain) {
  // Another version of the library under the same identifier is not ours.
  const std::wstring other_version = L"TypeLib\\" + G(LIBID_VornRegAccLib) + L"\\2.0";
  blockers_.push_back(other_version);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, other_version.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  RegCloseKey(key);

  ASSERT_EQ(S_OK, Module().UnregisterServer());
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, other_version));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + G(LIBID_VornRegAccLib) + L"\\1.0"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + G(LIBID_VornRegAccLib)).c_str()));

  ASSERT_EQ(S_OK, Module().UnregisterServer()) << "already gone is not a failure";
  ExpectUnregistered();

  ASSERT_EQ(S_OK, Module().RegisterServer());
  ExpectRegistered();
  ASSERT_EQ(S_OK, Module().RegisterServer()) << "registering twice";
  ExpectRegistered();
  ASSERT_EQ(S_OK, Module().UnregisterServer());
  ExpectUnregistered();
}

TEST_F(RegistrationCycle, FailedRegistrationLeavesNothingHalfWritten) {
  // From nothing: every entry written before the failure is removed again,
  // but not the key that existed before the call.
  ASSERT_EQ(S_OK, Module().UnregisterServer());
  const std::wstring last_interface = L"Interface\\" + G(IID_clsValue);
  Block(last_interface);
  EXPECT_TRUE(FAILED(Module().RegisterServer()));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, last_interface));
  RegDeleteTreeW(HKEY_CLASSES_ROOT, last_interface.c_str());
  ExpectUnregistered();

  // Over an earlier registration: values it overwrote get their earlier
  // contents back.
  ASSERT_EQ(S_OK, Module().RegisterServer());
  const std::wstring server = L"CLSID\\" + G(CLSID_clsKey) + L"\\InprocServer32";
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", REG_SZ, L"Both",
                                           5 * sizeof(wchar_t)));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, last_interface.c_str()));
  Block(last_interface);
  EXPECT_TRUE(FAILED(Module().RegisterServer()));
  std::wstring model;
  EXPECT_TRUE(ReadString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", model));
  EXPECT_EQ(L"Both", model);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + G(CLSID_clsKeys) + L"\\InprocServer32"));
}

}  // namespace
}  // namespace client
