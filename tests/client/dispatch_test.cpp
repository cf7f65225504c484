// Late-bound clients: every member reached through IDispatch::Invoke by its
// published dispatch identifier, as compiled VB and script clients call.
#include <gtest/gtest.h>

#include "client_support.h"

namespace client {
namespace {

constexpr WORD kCall = DISPATCH_METHOD;

ComPtr<IDispatch> Create(const wchar_t* prog_id) {
  CLSID clsid;
  ComPtr<IDispatch> object;
  EXPECT_EQ(S_OK, CLSIDFromProgID(prog_id, &clsid));
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(object.GetAddressOf())));
  return object;
}

bool IsTrue(const Variant& v) { return v.vt() == VT_BOOL && V_BOOL(v.get()) == VARIANT_TRUE; }

TEST(DispatchIds, KeyMembers) {
  ScratchKey scratch;
  scratch.CreateKey(L"leaf");
  ComPtr<IDispatch> key = Create(L"VornRegAccLib.clsKey");
  ASSERT_TRUE(key);
  ASSERT_EQ(S_OK, PutId(key.Get(), 0x68030002, Variant(kCurrentUser)));            // HKEY
  ASSERT_EQ(S_OK, PutId(key.Get(), 0x68030001, Variant(scratch.Below(L"leaf"))));  // Path
  ASSERT_EQ(S_OK, InvokeId(key.Get(), 0x60030004, kCall));                         // Refresh
  Variant root, path, exists, name, values, sub_keys;
  ASSERT_EQ(S_OK, GetId(key.Get(), 0x68030002, root));
  ASSERT_EQ(S_OK, GetId(key.Get(), 0x68030001, path));
  ASSERT_EQ(S_OK, GetId(key.Get(), 0x68030003, exists));    // Exists
  ASSERT_EQ(S_OK, GetId(key.Get(), 0x68030000, name));      // Name
  ASSERT_EQ(S_OK, GetId(key.Get(), 0x40030003, values));    // Values
  ASSERT_EQ(S_OK, GetId(key.Get(), 0x40030004, sub_keys));  // SubKeys
  EXPECT_EQ(kCurrentUser, root.I4());
  EXPECT_EQ(scratch.Below(L"leaf"), path.Text());
  EXPECT_TRUE(IsTrue(exists));
  EXPECT_EQ(L"leaf", name.Text());
  ASSERT_EQ(VT_DISPATCH, values.vt());
  ASSERT_EQ(VT_DISPATCH, sub_keys.vt());
  // The collections answer their own identifiers for HKEY.
  Variant values_root, keys_root;
  ASSERT_EQ(S_OK, GetId(V_DISPATCH(values.get()), 0x68030000, values_root));
  ASSERT_EQ(S_OK, GetId(V_DISPATCH(sub_keys.get()), 0x68030001, keys_root));
  EXPECT_EQ(kCurrentUser, values_root.I4());
  EXPECT_EQ(kCurrentUser, keys_root.I4());

  ASSERT_EQ(S_OK, InvokeId(key.Get(), 0x40030004, DISPATCH_PROPERTYPUTREF, {sub_keys.get()}));
  EXPECT_TRUE(FAILED(PutId(key.Get(), 0x68030000, Variant(std::wstring(L"x"))))) << "Name has no assignment";
}

TEST(DispatchIds, KeysMembers) {
  ScratchKey scratch;
  scratch.CreateKey(L"alpha");
  ComPtr<IDispatch> keys = Create(L"VornRegAccLib.clsKeys");
  ASSERT_TRUE(keys);
  ASSERT_EQ(S_OK, PutId(keys.Get(), 0x68030001, Variant(kCurrentUser)));    // HKEY
  ASSERT_EQ(S_OK, PutId(keys.Get(), 0x68030000, Variant(scratch.Path())));  // Path
  Variant root, path, count, item, exists, added, deleted;
  ASSERT_EQ(S_OK, GetId(keys.Get(), 0x68030001, root));
  ASSERT_EQ(S_OK, GetId(keys.Get(), 0x68030000, path));
  ASSERT_EQ(S_OK, GetId(keys.Get(), 0x68030002, count));  // Count
  EXPECT_EQ(kCurrentUser, root.I4());
  EXPECT_EQ(scratch.Path(), path.Text());
  EXPECT_EQ(1, count.I4());
  Variant one(1), alpha(std::wstring(L"alpha")), beta(std::wstring(L"beta"));
  ASSERT_EQ(S_OK, GetId(keys.Get(), DISPID_VALUE, item, {one.get()}));  // Item
  ASSERT_EQ(VT_DISPATCH, item.vt());
  ASSERT_EQ(S_OK, GetId(keys.Get(), 0x68030003, exists, {alpha.get()}));  // KeyExists
  EXPECT_TRUE(IsTrue(exists));
  ASSERT_EQ(S_OK, InvokeId(keys.Get(), 0x60030006, kCall, {beta.get()}, &added));  // Add
  EXPECT_TRUE(IsTrue(added));
  ASSERT_EQ(S_OK, InvokeId(keys.Get(), 0x60030004, kCall));  // Refresh
  ASSERT_EQ(S_OK, GetId(keys.Get(), 0x68030002, count));
  EXPECT_EQ(2, count.I4());
  ASSERT_EQ(S_OK, InvokeId(keys.Get(), 0x60030007, kCall, {beta.get()}, &deleted));  // Delete
  EXPECT_TRUE(IsTrue(deleted));
  EXPECT_FALSE(scratch.KeyExists(L"beta"));
  // No member has 0x60030005, and there is no enumerator.
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeId(keys.Get(), 0x60030005, kCall));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeId(keys.Get(), DISPID_NEWENUM, DISPATCH_PROPERTYGET | kCall));
}

TEST(DispatchIds, ValuesAndValueMembers) {
  ScratchKey scratch;
  scratch.SetString(L"", L"text", L"abc");
  ComPtr<IDispatch> values = Create(L"VornRegAccLib.clsValues");
  ASSERT_TRUE(values);
  ASSERT_EQ(S_OK, PutId(values.Get(), 0x68030000, Variant(kCurrentUser)));    // HKEY
  ASSERT_EQ(S_OK, PutId(values.Get(), 0x68030001, Variant(scratch.Path())));  // Path
  Variant root, path, count, exists, item, done;
  ASSERT_EQ(S_OK, GetId(values.Get(), 0x68030000, root));
  ASSERT_EQ(S_OK, GetId(values.Get(), 0x68030001, path));
  ASSERT_EQ(S_OK, GetId(values.Get(), 0x68030002, count));  // Count
  EXPECT_EQ(kCurrentUser, root.I4());
  EXPECT_EQ(scratch.Path(), path.Text());
  EXPECT_EQ(1, count.I4());
  Variant text(std::wstring(L"text")), added(std::wstring(L"added")), data(std::wstring(L"xyz")), sz(REG_SZ);
  ASSERT_EQ(S_OK, GetId(values.Get(), 0x68030003, exists, {text.get()}));  // ValueExists
  EXPECT_TRUE(IsTrue(exists));
  ASSERT_EQ(S_OK, InvokeId(values.Get(), 0x60030004, kCall, {added.get(), data.get(), sz.get()}, &done));  // Add
  EXPECT_TRUE(IsTrue(done));
  ASSERT_EQ(S_OK, InvokeId(values.Get(), 0x60030005, kCall, {added.get()}, &done));  // Delete
  EXPECT_TRUE(IsTrue(done));
  scratch.SetDword(L"", L"later", 1);
  ASSERT_EQ(S_OK, InvokeId(values.Get(), 0x60030006, kCall));  // Refresh
  ASSERT_EQ(S_OK, GetId(values.Get(), 0x68030002, count));
  EXPECT_EQ(2, count.I4());

  ASSERT_EQ(S_OK, GetId(values.Get(), DISPID_VALUE, item, {text.get()}));  // Item
  ASSERT_EQ(VT_DISPATCH, item.vt());
  IDispatch* record = V_DISPATCH(item.get());
  ASSERT_EQ(S_OK, PutId(record, 0x40030001, Variant(5)));  // Value
  Variant name, value, type;
  ASSERT_EQ(S_OK, GetId(record, 0x40030000, name));  // Name
  ASSERT_EQ(S_OK, GetId(record, 0x40030001, value));
  ASSERT_EQ(S_OK, GetId(record, 0x40030002, type));  // ValueType
  EXPECT_EQ(L"text", name.Text());
  EXPECT_EQ(5, value.I4());
  EXPECT_EQ(REG_SZ, type.I4());
}

}  // namespace
}  // namespace client
