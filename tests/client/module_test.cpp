// The module as the platform meets it: its exports, called on the module
// loaded from its path, and the entries that registration writes and removes.
#include <gtest/gtest.h>

#include "client_support.h"

namespace client {
namespace {

HMODULE Module() { static const HMODULE module = ::LoadLibraryW(ModulePath().c_str()); return module; }
template <typename... Args>
HRESULT Export(const char* name, Args... args) {
  FARPROC function = ::GetProcAddress(Module(), name);
  return function ? reinterpret_cast<HRESULT(__stdcall*)(Args...)>(reinterpret_cast<void*>(function))(args...)
                  : E_POINTER;
}
HRESULT CanUnload() { return Export("DllCanUnloadNow"); }
ComPtr<IClassFactory> Factory(const CLSID& clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(S_OK, Export("DllGetClassObject", &clsid, &IID_IClassFactory, static_cast<void**>(&factory)));
  return factory;
}

std::wstring G(const GUID& guid) { wchar_t text[40] = {}; return ::StringFromGUID2(guid, text, 40), text; }

const struct { const wchar_t* prog_id; const CLSID& clsid; const IID& default_iid; } kClasses[] = {
    {L"VornRegAccLib.clsKey", CLSID_clsKey, IID__clsKey},
    {L"VornRegAccLib.clsKeys", CLSID_clsKeys, IID__clsKeys},
    {L"VornRegAccLib.clsValues", CLSID_clsValues, IID__clsValues}};
const std::pair<const wchar_t*, const IID*> kInterfaces[] = {
    {L"_clsKey", &IID__clsKey}, {L"_clsKeys", &IID__clsKeys}, {L"_clsValues", &IID__clsValues},
    {L"clsValue", &IID_clsValue}};

TEST(Exports, NamesAndOrdinalsNameTheSameFunctions) {
  ASSERT_TRUE(Module()) << "cannot load the module, error " << ::GetLastError();
  const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                         "DllInstall"};
  for (WORD ordinal = 1; ordinal <= 5; ++ordinal) {
    EXPECT_TRUE(::GetProcAddress(Module(), names[ordinal - 1])) << names[ordinal - 1];
    EXPECT_EQ(::GetProcAddress(Module(), names[ordinal - 1]), ::GetProcAddress(Module(), MAKEINTRESOURCEA(ordinal)));
  }
}

TEST(Exports, ClassObjectsMakeANewUnaggregatedObjectEachTime) {
  for (const auto& c : kClasses) {
    ComPtr<IClassFactory> factory = Factory(c.clsid);
    ComPtr<IUnknown> first, second;
    void* aggregated = reinterpret_cast<void*>(1);
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, c.default_iid, &first));
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, &second));
    EXPECT_NE(Identity(first.Get()), Identity(second.Get()));
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(second.Get(), IID_IUnknown, &aggregated));
    EXPECT_EQ(nullptr, aggregated);
  }
  for (const GUID* other : {&CLSID_clsValue, &LIBID_VornRegAccLib, &IID__clsKey, &GUID_NULL}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Export("DllGetClassObject", other, &IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object) << G(*other);
  }
  EXPECT_EQ(S_OK, CanUnload());
}

// Class objects and locks keep the module loaded, and so does every object a
// client holds, also one it got from another object it has since released.
TEST(Exports, UnloadWaitsForEveryObjectAndLock) {
  ASSERT_EQ(S_OK, CanUnload());
  ComPtr<IClassFactory> factory = Factory(CLSID_clsKeys);
  EXPECT_EQ(S_FALSE, CanUnload()) << "a class object";
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, CanUnload()) << "a lock";
  EXPECT_EQ(S_OK, Factory(CLSID_clsValues)->LockServer(FALSE)) << "locks belong to the module";
  EXPECT_EQ(S_OK, CanUnload());

  ScratchKey scratch;
  scratch.SetString(L"text", L"abc");
  scratch.Make(L"child");
  ComPtr<IDispatch> key;
  Variant values, sub_keys, record, child, path;
  ASSERT_EQ(S_OK, Factory(CLSID_clsKey)->CreateInstance(nullptr, IID_IDispatch, &key));
  EXPECT_TRUE(FAILED(Factory(CLSID_clsKey)->LockServer(FALSE))) << "an unlock without a lock hides no object";
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x68030002, kPut, {kCurrentUser}));
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x68030001, kPut, {scratch.path}));
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x40030003, kGet, {}, &values));
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x40030004, kGet, {}, &sub_keys));
  key.Reset();
  EXPECT_EQ(S_FALSE, CanUnload()) << "collections taken from a key object";
  ASSERT_EQ(S_OK, Invoke(V_DISPATCH(&values), DISPID_VALUE, kGet, {1}, &record));
  ASSERT_EQ(S_OK, Invoke(V_DISPATCH(&sub_keys), DISPID_VALUE, kGet, {1}, &child));
  values = sub_keys = Variant();
  EXPECT_EQ(S_FALSE, CanUnload()) << "a clsValue and a clsKey taken from collections";
  record = Variant();
  EXPECT_EQ(S_FALSE, CanUnload()) << "a clsKey taken from a collection";
  child = Variant();
  EXPECT_EQ(S_OK, CanUnload());

  // That check dropped the cached type information: a new object loads it again.
  ASSERT_EQ(S_OK, Factory(CLSID_clsKey)->CreateInstance(nullptr, IID_IDispatch, &key));
  EXPECT_EQ(S_OK, Invoke(key.Get(), 0x68030001, kPut, {L"\\Software\\"}));
  EXPECT_EQ(S_OK, Invoke(key.Get(), 0x68030001, kGet, {}, &path));
  EXPECT_EQ(L"Software", path.Text());
}

// The collections hand out an enumerator through IDispatch alone: it walks
// the objects that Item(1..Count) returned when it was made, keeps the
// IEnumVARIANT contract, and keeps the module loaded while it lives.
TEST(Exports, CollectionsAreWalkedBySnapshotEnumerators) {
  ASSERT_EQ(S_OK, CanUnload());
  ScratchKey scratch;
  for (const wchar_t* name : {L"a", L"b", L"c"}) scratch.SetString(name, name);
  ComPtr<IDispatch> values, key;
  ASSERT_EQ(S_OK, Factory(CLSID_clsValues)->CreateInstance(nullptr, IID_IDispatch, &values));
  ASSERT_EQ(S_OK, Invoke(values.Get(), 0x68030000, kPut, {kCurrentUser}));
  ASSERT_EQ(S_OK, Invoke(values.Get(), 0x68030001, kPut, {scratch.path}));
  Variant walk, items[4], item;
  for (WORD flags : {kCall, kGet, WORD(kCall | kGet)})
    ASSERT_EQ(S_OK, Invoke(values.Get(), DISPID_NEWENUM, flags, {}, &walk)) << flags;
  EXPECT_TRUE(FAILED(Invoke(values.Get(), DISPID_NEWENUM, kPut, {1})));
  ComPtr<IEnumVARIANT> all, clone;
  ASSERT_EQ(VT_UNKNOWN, V_VT(&walk));
  ASSERT_EQ(S_OK, V_UNKNOWN(&walk)->QueryInterface(IID_IEnumVARIANT, &all));
  walk = Variant();
  for (LONG i = 1; i <= 3; ++i) ASSERT_EQ(S_OK, Invoke(values.Get(), DISPID_VALUE, kGet, {i}, &items[i - 1]));

  // Neither a reload nor the collection's release touches the snapshot.
  scratch.SetString(L"d", L"d");
  ASSERT_EQ(S_OK, Invoke(values.Get(), 0x60030006, kCall));  // Refresh
  values.Reset();
  Variant got[4];
  ULONG fetched = 9;
  EXPECT_EQ(S_FALSE, all->Next(4, got, &fetched));
  ASSERT_EQ(3u, fetched);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(V_DISPATCH(&items[i]), V_DISPATCH(&got[i])) << "item " << i + 1;
  EXPECT_EQ(VT_EMPTY, V_VT(&got[3]));
  for (Variant& v : got) v = Variant();  // Next fills slots as empty ones
  EXPECT_EQ(S_FALSE, all->Next(1, &item, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(E_POINTER, all->Next(1, nullptr, &fetched));
  EXPECT_EQ(S_OK, all->Reset());
  EXPECT_EQ(S_OK, all->Skip(1));
  EXPECT_EQ(E_POINTER, all->Clone(nullptr));
  ASSERT_EQ(S_OK, all->Clone(&clone));
  EXPECT_EQ(S_FALSE, all->Skip(3)) << "past the end";
  EXPECT_EQ(S_OK, clone->Next(1, &got[0], nullptr)) << "a clone starts where its original stood and moves alone";
  EXPECT_EQ(V_DISPATCH(&items[1]), V_DISPATCH(&got[0]));
  EXPECT_EQ(S_OK, all->Reset());
  EXPECT_EQ(S_OK, all->Next(1, &got[1], nullptr));
  EXPECT_EQ(V_DISPATCH(&items[0]), V_DISPATCH(&got[1]));

  // A key object has none; an enumerator over a missing key's sub-keys is
  // empty, and it alone keeps the module loaded.
  ASSERT_EQ(S_OK, Factory(CLSID_clsKey)->CreateInstance(nullptr, IID_IDispatch, &key));
  EXPECT_TRUE(FAILED(Invoke(key.Get(), DISPID_NEWENUM, kCall | kGet, {}, &walk)));
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x68030002, kPut, {kCurrentUser}));
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x68030001, kPut, {scratch.Below(L"missing")}));
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x40030004, kGet, {}, &item));  // SubKeys
  key.Reset();
  ASSERT_EQ(S_OK, Invoke(V_DISPATCH(&item), DISPID_NEWENUM, kCall, {}, &walk));
  ASSERT_EQ(S_OK, V_UNKNOWN(&walk)->QueryInterface(IID_IEnumVARIANT, &all));
  clone.Reset();
  for (Variant* v : {&walk, &item, &items[0], &items[1], &items[2], &got[0], &got[1], &got[2]}) *v = Variant();
  EXPECT_EQ(S_FALSE, CanUnload()) << "an enumerator";
  EXPECT_EQ(S_FALSE, all->Next(1, &item, &fetched));
  EXPECT_EQ(0u, fetched);
  all.Reset();
  EXPECT_EQ(S_OK, CanUnload());
}

// Registered, every value the registration writes below HKEY_CLASSES_ROOT is
// there; unregistered, the key of each that belongs to the library alone (the
// ProgID, or the identifier below CLSID, TypeLib or Interface) is gone.
void ExpectRegistered(bool registered) {
  const std::wstring module = ModulePath(), libid = G(LIBID_VornRegAccLib), library = L"TypeLib\\" + libid + L"\\1.0";
  const std::wstring marshaller = L"{00020424-0000-0000-C000-000000000046}";
  struct Entry { std::wstring path; const wchar_t* name; std::wstring value; };  // null name: the default value
  const wchar_t* platform = sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32";  // the module's pointer size
  std::vector<Entry> entries = {
      {library, nullptr, L"Vorn Registry Access Library"}, {library + platform, nullptr, module},
      {library + L"\\FLAGS", nullptr, L"0"}, {library + L"\\HELPDIR", nullptr, L""}};
  for (const auto& c : kClasses) {
    const std::wstring key = L"CLSID\\" + G(c.clsid), server = key + L"\\InprocServer32";
    entries.insert(entries.end(), {{key, nullptr, c.prog_id}, {server, nullptr, module},
                                   {server, L"ThreadingModel", L"Apartment"}, {key + L"\\ProgID", nullptr, c.prog_id},
                                   {key + L"\\TypeLib", nullptr, libid}, {key + L"\\Version", nullptr, L"1.0"},
                                   {c.prog_id + std::wstring(L"\\CLSID"), nullptr, G(c.clsid)}});
  }
  for (const auto& [name, iid] : kInterfaces) {
    const std::wstring key = L"Interface\\" + G(*iid);
    entries.insert(entries.end(), {{key, nullptr, name}, {key + L"\\ProxyStubClsid", nullptr, marshaller},
                                   {key + L"\\ProxyStubClsid32", nullptr, marshaller},
                                   {key + L"\\TypeLib", nullptr, libid}, {key + L"\\TypeLib", L"Version", L"1.0"}});
  }
  for (const auto& [path, name, want] : entries) {
    const bool prog_id = path.rfind(L"VornRegAccLib.", 0) == 0;
    const std::size_t first = path.find(L'\\'), own = prog_id ? first : path.find(L'\\', first + 1);
    wchar_t value[1024] = L"";
    DWORD size = sizeof value - sizeof(wchar_t);
    if (registered)  // paths compare as the file system does
      EXPECT_TRUE(!::RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) &&
                  !_wcsicmp(value, want.c_str()))
          << testing::PrintToString(path + L" " + (name ? name : L"(default)") + L": " + value);
    else
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, path.substr(0, own))) << testing::PrintToString(path) << " is left";
  }
  for (const wchar_t* shared : {L"CLSID", L"TypeLib", L"Interface"}) EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, shared));
}

// With the module registered by regsvr32.
TEST(Registration, EntriesProgIdsAndTypeLibrary) {
  ExpectRegistered(true);
  for (const auto& c : kClasses) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, ::CLSIDFromProgID(c.prog_id, &clsid));
    EXPECT_EQ(G(c.clsid), G(clsid));
  }
  ComPtr<ITypeLib> library;
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, ::LoadRegTypeLib(LIBID_VornRegAccLib, 1, 0, 0, &library));
  EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(IID__clsKey, &info));
}

// Every key and value below root\path, one line each, in the order the
// registry lists them; empty when the key is not there.
std::wstring Dump(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key)) return L"";
  std::wstring text = path + L"\n";
  wchar_t name[256], data[1024];
  DWORD length, size, type;
  for (DWORD i = 0; length = 256, size = sizeof data - 2, !::RegEnumValueW(key, i, name, &length, nullptr, &type,
                                                                              reinterpret_cast<BYTE*>(data), &size);
       ++i)
    text += L"  " + std::wstring(name) + L" " + std::to_wstring(type) + L" " + std::wstring(data, size / 2) + L"\n";
  for (DWORD i = 0; length = 256, !::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr); ++i)
    text += Dump(root, path + L"\\" + name);
  return ::RegCloseKey(key), text;
}

// The library's own keys below a classes root, with all they hold.
std::wstring Dump(HKEY root) {
  std::wstring text = Dump(root, L"TypeLib\\" + G(LIBID_VornRegAccLib));
  for (const auto& c : kClasses) text += Dump(root, L"CLSID\\" + G(c.clsid)) + Dump(root, c.prog_id);
  for (const auto& [name, iid] : kInterfaces) text += Dump(root, L"Interface\\" + G(*iid));
  return text;
}

HRESULT Install(BOOL install, const wchar_t* command_line) { return Export("DllInstall", install, command_line); }

// Unregistering and registering again, run alone; leaves the module registered
// per machine and not per user.
struct RegistrationCycle : ::testing::Test {
  void TearDown() override {
    EXPECT_EQ(S_OK, Install(FALSE, L"user"));
    EXPECT_EQ(S_OK, Export("DllRegisterServer"));
  }
};

TEST_F(RegistrationCycle, UnregisterRemovesEveryEntryAndOnlyThose) {
  ASSERT_EQ(S_OK, Export("DllUnregisterServer"));
  ASSERT_EQ(S_OK, Export("DllUnregisterServer")) << "already gone is not a failure";
  ExpectRegistered(false);
  ASSERT_EQ(S_OK, Export("DllRegisterServer"));
  ASSERT_EQ(S_OK, Export("DllRegisterServer")) << "registering twice";
  ExpectRegistered(true);
  ASSERT_EQ(S_OK, Export("DllUnregisterServer"));
  ExpectRegistered(false);
}

// A volatile key makes every non-volatile key that registration creates below
// it fail. Everything written before the failure is removed again, but not
// the key that existed before the call.
TEST_F(RegistrationCycle, FailedRegistrationLeavesNothingHalfWritten) {
  const std::wstring last = L"Interface\\" + G(IID_clsValue);
  ASSERT_EQ(S_OK, Export("DllUnregisterServer"));
  EXPECT_TRUE(CreateKey(HKEY_CLASSES_ROOT, last, REG_OPTION_VOLATILE));
  EXPECT_TRUE(FAILED(Export("DllRegisterServer")));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, last));
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, last.c_str());
  ExpectRegistered(false);
}

// HKLM\Software\Classes and HKCU\Software\Classes are written and emptied
// apart; Wine reads classes from the first only, so the keys are compared.
TEST_F(RegistrationCycle, PerUserEntriesMirrorPerMachineAndStayApart) {
  struct Classes {
    HKEY key = nullptr;
    explicit Classes(HKEY hive) {
      ::RegCreateKeyExW(hive, L"Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr);
    }
    ~Classes() { ::RegCloseKey(key); }
  } machine(HKEY_LOCAL_MACHINE), user(HKEY_CURRENT_USER);
  ASSERT_EQ(S_OK, Install(FALSE, L"user"));
  const std::wstring registered = Dump(machine.key);  // by regsvr32
  ASSERT_NE(L"", registered);
  ASSERT_EQ(L"", Dump(user.key));

  ASSERT_EQ(S_OK, Install(FALSE, L"Machine"));
  EXPECT_EQ(L"", Dump(machine.key));
  for (const wchar_t* refused : {L"users", L" user", L"user,machine", L"/i"}) {
    EXPECT_EQ(E_INVALIDARG, Install(TRUE, refused)) << refused;
    EXPECT_EQ(E_INVALIDARG, Install(FALSE, refused)) << refused;
  }
  EXPECT_EQ(L"", Dump(user.key)) << "a refused command line writes nothing";
  EXPECT_EQ(L"", Dump(machine.key));
  ASSERT_EQ(S_OK, Install(TRUE, L"user"));
  EXPECT_EQ(registered, Dump(user.key)) << "the per-machine entries, per user";
  EXPECT_EQ(L"", Dump(machine.key)) << "nothing per machine";
  ASSERT_EQ(S_OK, Install(FALSE, L"USER"));
  EXPECT_EQ(L"", Dump(user.key)) << "every per-user entry removed";

  ASSERT_EQ(S_OK, Install(TRUE, L""));
  EXPECT_EQ(registered, Dump(machine.key));
  ASSERT_EQ(S_OK, Install(TRUE, L"user"));
  EXPECT_EQ(registered, Dump(user.key));
  ASSERT_EQ(S_OK, Install(FALSE, L"user"));
  EXPECT_EQ(L"", Dump(user.key));
  EXPECT_EQ(registered, Dump(machine.key)) << "the per-machine registration whole";
  ASSERT_EQ(S_OK, Install(FALSE, L"user")) << "already gone is not a failure";
  ASSERT_EQ(S_OK, Install(FALSE, nullptr));
  EXPECT_EQ(L"", Dump(machine.key));
}

}  // namespace
}  // namespace client

// Runs the client tests on a single-threaded apartment, as script clients do.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = RUN_ALL_TESTS();
  return ::CoUninitialize(), result;
}
