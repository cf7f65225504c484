// The module's exports, called directly on the module loaded from its path,
// without its registration: class objects, creation and the unload check.
#include <gtest/gtest.h>

#include "client_support.h"
#include "surface/guids.h"
#include "surface/interfaces.h"

namespace client {
namespace {

using namespace vorn::guids;

struct CreatableClass {
  const char* name;
  const CLSID& clsid;
  const IID& default_iid;
};
const CreatableClass kCreatable[] = {
    {"clsKey", CLSID_clsKey, IID__clsKey},
    {"clsKeys", CLSID_clsKeys, IID__clsKeys},
    {"clsValues", CLSID_clsValues, IID__clsValues},
};

class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Module().module) << "cannot load the module, error " << GetLastError();
    ASSERT_TRUE(Module().CanUnloadNow && Module().GetClassObject && Module().RegisterServer &&
                Module().UnregisterServer);
  }

  ComPtr<IClassFactory> Factory(const CLSID& clsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK,
              Module().GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    return factory;
  }

  template <typename T>
  ComPtr<T> Create(const CLSID& clsid, const IID& iid) {
    ComPtr<T> object;
    ComPtr<IClassFactory> factory = Factory(clsid);
    if (factory) {
      EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.GetAddressOf())));
    }
    return object;
  }

  HRESULT CanUnload() { return Module().CanUnloadNow(); }
};

TEST_F(Exports, NamesAndOrdinalsNameTheSameFunctions) {
  const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
  for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
    FARPROC by_name = GetProcAddress(Module().module, names[ordinal - 1]);
    FARPROC by_ordinal = GetProcAddress(Module().module, MAKEINTRESOURCEA(ordinal));
    EXPECT_TRUE(by_name) << names[ordinal - 1];
    EXPECT_EQ(by_name, by_ordinal) << "ordinal " << ordinal;
  }
  EXPECT_FALSE(GetProcAddress(Module().module, MAKEINTRESOURCEA(5)));
}

TEST_F(Exports, EachClassObjectMakesNewObjectsOfItsClass) {
  for (const auto& c : kCreatable) {
    SCOPED_TRACE(c.name);
    // A class object through IUnknown too.
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, Module().GetClassObject(c.clsid, IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())));
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, unknown.As(&factory));

    // Default interface, IDispatch and IUnknown; a new object every time.
    ComPtr<IDispatch> as_default, as_dispatch;
    ComPtr<IUnknown> as_unknown;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, c.default_iid, reinterpret_cast<void**>(as_default.GetAddressOf())));
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(as_dispatch.GetAddressOf())));
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(as_unknown.GetAddressOf())));
    EXPECT_NE(Identity(as_default.Get()), Identity(as_dispatch.Get()));
    EXPECT_NE(Identity(as_dispatch.Get()), Identity(as_unknown.Get()));
    EXPECT_NE(Identity(as_default.Get()), Identity(as_unknown.Get()));

    // The object is of the class asked for: its type information is that of
    // the class's default interface.
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, as_dispatch->GetTypeInfo(0, 0, info.GetAddressOf()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, c.default_iid));
    info->ReleaseTypeAttr(attr);

    // An interface the class does not have, or an aggregating outer
    // object: nothing, and nothing left alive.
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &other));
    EXPECT_EQ(nullptr, other);
    other = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(as_unknown.Get(), IID_IUnknown, &other));
    EXPECT_EQ(nullptr, other);
  }
  EXPECT_EQ(S_OK, CanUnload());
}

TEST_F(Exports, NoClassObjectForAnyOtherIdentifier) {
  GUID random;
  ASSERT_EQ(S_OK, CoCreateGuid(&random));
  const GUID* others[] = {&CLSID_clsValue, &random, &LIBID_VornRegAccLib, &IID__clsKey, &GUID_NULL};
  for (const GUID* other : others) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, Module().GetClassObject(*other, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
  }
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, Module().GetClassObject(CLSID_clsKey, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(S_OK, CanUnload());
}

// Class objects count while a reference is held, locks while they are held;
// an unlock without a lock is refused and cannot hide a live object.
TEST_F(Exports, UnloadWaitsForClassObjectsAndLocks) {
  ASSERT_EQ(S_OK, CanUnload());
  ComPtr<IClassFactory> factory = Factory(CLSID_clsKeys);
  EXPECT_EQ(S_FALSE, CanUnload());
  factory.Reset();
  EXPECT_EQ(S_OK, CanUnload());

  factory = Factory(CLSID_clsValues);
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, CanUnload());
  factory = Factory(CLSID_clsKey);  // locks belong to the module, not to one class object
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, CanUnload());
  factory = Factory(CLSID_clsKey);
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_OK, CanUnload());

  ComPtr<IDispatch> object = Create<IDispatch>(CLSID_clsKey, IID_IDispatch);
  factory = Factory(CLSID_clsKey);
  EXPECT_TRUE(FAILED(factory->LockServer(FALSE)));
  factory.Reset();
  EXPECT_EQ(S_FALSE, CanUnload());
  object.Reset();
  EXPECT_EQ(S_OK, CanUnload());
}

// Objects that a client holds keep the module loaded, also when the client
// got them from another object and released that one.
TEST_F(Exports, UnloadWaitsForEveryHeldObject) {
  ScratchKey scratch;
  scratch.SetString(L"", L"text", L"abc");
  scratch.CreateKey(L"child");
  LONG root = kCurrentUser;
  Bstr path(scratch.Path());
  Variant first(1);

  ComPtr<_clsKey> key = Create<_clsKey>(CLSID_clsKey, IID__clsKey);
  ASSERT_TRUE(key);
  ASSERT_EQ(S_OK, key->put_HKEY(&root));
  ASSERT_EQ(S_OK, key->put_Path(path.ref()));
  ComPtr<_clsValues> values;
  ComPtr<_clsKeys> sub_keys;
  ASSERT_EQ(S_OK, key->get_Values(values.GetAddressOf()));
  ASSERT_EQ(S_OK, key->get_SubKeys(sub_keys.GetAddressOf()));
  key.Reset();
  EXPECT_EQ(S_FALSE, CanUnload()) << "collections taken from a key object";

  ComPtr<clsValue> record;
  ComPtr<_clsKey> child;
  ASSERT_EQ(S_OK, values->get_Item(first.get(), record.GetAddressOf()));
  ASSERT_EQ(S_OK, sub_keys->get_Item(first.get(), child.GetAddressOf()));
  values.Reset();
  sub_keys.Reset();
  EXPECT_EQ(S_FALSE, CanUnload()) << "a value record and a key object taken from collections";
  record.Reset();
  EXPECT_EQ(S_FALSE, CanUnload()) << "a key object taken from a collection";
  child.Reset();
  EXPECT_EQ(S_OK, CanUnload());
}

// A successful unload check drops the cached type information; objects made
// afterwards must load it again, not use what was dropped.
TEST_F(Exports, DispatchWorksAfterASuccessfulUnloadCheck) {
  for (int round = 0; round < 2; ++round) {
    ComPtr<IDispatch> key = Create<IDispatch>(CLSID_clsKey, IID_IDispatch);
    ASSERT_TRUE(key);
    LPOLESTR name = const_cast<LPOLESTR>(L"Path");
    DISPID id = 0;
    EXPECT_EQ(S_OK, key->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(0x68030001, id);
    ASSERT_EQ(S_OK, PutId(key.Get(), id, Variant(std::wstring(L"\\Software\\"))));
    Variant path;
    EXPECT_EQ(S_OK, GetId(key.Get(), id, path));
    EXPECT_EQ(L"Software", path.Text());
    key.Reset();
    EXPECT_EQ(S_OK, CanUnload());
  }
}

}  // namespace
}  // namespace client
