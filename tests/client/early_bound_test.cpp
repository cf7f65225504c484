// A C++ client calling every slot of every interface through the vtable, on
// objects from CoCreateInstance. Each call must land on the member of its
// slot; what the members do in depth is tested with the classes themselves.
#include <gtest/gtest.h>

#include "client_support.h"
#include "surface/guids.h"
#include "surface/interfaces.h"

namespace client {
namespace {

using namespace vorn::guids;

template <typename T>
ComPtr<T> CreateObject(const CLSID& clsid, const IID& iid) {
  ComPtr<T> object;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   reinterpret_cast<void**>(object.GetAddressOf())));
  return object;
}

// Sets HKEY and Path (both by reference) and reads them back.
template <typename T>
void AimAndCheck(T* object, const std::wstring& path_text) {
  LONG root = kCurrentUser;
  Bstr path(path_text);
  ASSERT_EQ(S_OK, object->put_HKEY(&root));
  ASSERT_EQ(S_OK, object->put_Path(path.ref()));
  LONG read_root = 0;
  Bstr read_path;
  ASSERT_EQ(S_OK, object->get_HKEY(&read_root));
  ASSERT_EQ(S_OK, object->get_Path(read_path.put()));
  EXPECT_EQ(kCurrentUser, read_root);
  EXPECT_EQ(path_text, read_path.Text());
}

TEST(EarlyBound, KeySlots) {
  ScratchKey scratch;
  scratch.CreateKey(L"leaf");
  ComPtr<_clsKey> key = CreateObject<_clsKey>(CLSID_clsKey, IID__clsKey);
  ASSERT_TRUE(key);
  AimAndCheck(key.Get(), scratch.Below(L"leaf"));  // 14-17
  VARIANT_BOOL exists = VARIANT_FALSE;
  ASSERT_EQ(S_OK, key->get_Exists(&exists));  // 13
  EXPECT_EQ(VARIANT_TRUE, exists);
  Bstr name;
  ASSERT_EQ(S_OK, key->get_Name(name.put()));  // 19
  EXPECT_EQ(L"leaf", name.Text());

  ComPtr<_clsValues> values;
  ComPtr<_clsKeys> sub_keys;
  ASSERT_EQ(S_OK, key->get_Values(values.GetAddressOf()));     // 7
  ASSERT_EQ(S_OK, key->get_SubKeys(sub_keys.GetAddressOf()));  // 10
  ASSERT_EQ(S_OK, key->Refresh());                             // 18: new collections
  ComPtr<_clsValues> new_values;
  ASSERT_EQ(S_OK, key->get_Values(new_values.GetAddressOf()));
  EXPECT_NE(Identity(values.Get()), Identity(new_values.Get()));

  ASSERT_EQ(S_OK, key->putref_Values(values.Get()));     // 9
  ASSERT_EQ(S_OK, key->putref_SubKeys(sub_keys.Get()));  // 12
  // 8 and 11, the undescribed let slots, refuse and leave the fields alone.
  EXPECT_TRUE(FAILED(key->let_Values(new_values.Get())));
  EXPECT_TRUE(FAILED(key->let_SubKeys(nullptr)));
  ComPtr<_clsValues> got_values;
  ComPtr<_clsKeys> got_keys;
  ASSERT_EQ(S_OK, key->get_Values(got_values.GetAddressOf()));
  ASSERT_EQ(S_OK, key->get_SubKeys(got_keys.GetAddressOf()));
  EXPECT_EQ(Identity(values.Get()), Identity(got_values.Get()));
  EXPECT_EQ(Identity(sub_keys.Get()), Identity(got_keys.Get()));
}

TEST(EarlyBound, KeysSlots) {
  ScratchKey scratch;
  scratch.CreateKey(L"alpha");
  ComPtr<_clsKeys> keys = CreateObject<_clsKeys>(CLSID_clsKeys, IID__clsKeys);
  ASSERT_TRUE(keys);
  AimAndCheck(keys.Get(), scratch.Path());  // 10-13
  LONG count = 0;
  ASSERT_EQ(S_OK, keys->get_Count(&count));  // 8
  EXPECT_EQ(1, count);
  Variant first(1);
  ComPtr<_clsKey> item;
  ASSERT_EQ(S_OK, keys->get_Item(first.get(), item.GetAddressOf()));  // 9
  Bstr name;
  ASSERT_EQ(S_OK, item->get_Name(name.put()));
  EXPECT_EQ(L"alpha", name.Text());
  VARIANT_BOOL result = VARIANT_FALSE;
  Bstr alpha(L"alpha"), beta(L"beta");
  ASSERT_EQ(S_OK, keys->get_KeyExists(alpha.ref(), &result));  // 7
  EXPECT_EQ(VARIANT_TRUE, result);
  ASSERT_EQ(S_OK, keys->Add(beta.ref(), &result));  // 15
  EXPECT_EQ(VARIANT_TRUE, result);
  EXPECT_TRUE(scratch.KeyExists(L"beta"));
  ASSERT_EQ(S_OK, keys->Refresh());  // 14
  ASSERT_EQ(S_OK, keys->get_Count(&count));
  EXPECT_EQ(2, count);
  ASSERT_EQ(S_OK, keys->Delete(beta.ref(), &result));  // 16
  EXPECT_EQ(VARIANT_TRUE, result);
  EXPECT_FALSE(scratch.KeyExists(L"beta"));
}

TEST(EarlyBound, ValuesAndValueSlots) {
  ScratchKey scratch;
  scratch.SetString(L"", L"text", L"abc");
  ComPtr<_clsValues> values = CreateObject<_clsValues>(CLSID_clsValues, IID__clsValues);
  ASSERT_TRUE(values);
  AimAndCheck(values.Get(), scratch.Path());  // 12-15
  LONG count = 0;
  ASSERT_EQ(S_OK, values->get_Count(&count));  // 9
  EXPECT_EQ(1, count);
  VARIANT_BOOL result = VARIANT_FALSE;
  Bstr text(L"text"), added(L"added");
  ASSERT_EQ(S_OK, values->get_ValueExists(text.ref(), &result));  // 7
  EXPECT_EQ(VARIANT_TRUE, result);
  Variant data(std::wstring(L"xyz"));
  LONG type = REG_SZ;
  ASSERT_EQ(S_OK, values->Add(added.ref(), data.get(), &type, &result));  // 10
  EXPECT_EQ(VARIANT_TRUE, result);
  DWORD stored_type = 0;
  std::wstring stored;
  EXPECT_TRUE(scratch.Read(L"", L"added", stored_type, stored));
  ASSERT_EQ(S_OK, values->Delete(added.ref(), &result));  // 11
  EXPECT_EQ(VARIANT_TRUE, result);
  EXPECT_FALSE(scratch.Read(L"", L"added", stored_type, stored));
  scratch.SetDword(L"", L"later", 1);
  ASSERT_EQ(S_OK, values->Refresh());  // 16
  ASSERT_EQ(S_OK, values->get_Count(&count));
  EXPECT_EQ(2, count);

  // The record: 7-13.
  Variant by_name(std::wstring(L"text"));
  ComPtr<clsValue> record;
  ASSERT_EQ(S_OK, values->get_Item(by_name.get(), record.GetAddressOf()));  // 8
  Bstr name;
  Variant value;
  ASSERT_EQ(S_OK, record->get_Name(name.put()));
  ASSERT_EQ(S_OK, record->get_Value(value.get()));
  ASSERT_EQ(S_OK, record->get_ValueType(&type));
  EXPECT_EQ(L"text", name.Text());
  EXPECT_EQ(L"abc", value.Text());
  EXPECT_EQ(REG_SZ, type);
  Bstr renamed(L"renamed");
  Variant seven(7);
  ASSERT_EQ(S_OK, record->put_Name(*renamed.ref()));
  ASSERT_EQ(S_OK, record->put_Value(seven.get()));
  ASSERT_EQ(S_OK, record->put_ValueType(REG_DWORD));
  ASSERT_EQ(S_OK, record->get_Name(name.put()));
  ASSERT_EQ(S_OK, record->get_Value(value.get()));
  ASSERT_EQ(S_OK, record->get_ValueType(&type));
  EXPECT_EQ(L"renamed", name.Text());
  EXPECT_EQ(7, value.I4());
  EXPECT_EQ(REG_DWORD, type);
  Variant object(static_cast<IDispatch*>(values.Get()));
  ASSERT_EQ(S_OK, record->putref_Value(object.get()));
  ASSERT_EQ(S_OK, record->get_Value(value.get()));
  ASSERT_EQ(VT_DISPATCH, value.vt());
  EXPECT_EQ(Identity(values.Get()), Identity(V_DISPATCH(value.get())));
  Variant empty;
  ASSERT_EQ(S_OK, record->put_Value(empty.get()));  // no cycle record -> collection -> record
}

}  // namespace
}  // namespace client
