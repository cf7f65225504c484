// Registered objects as C++ clients call them: every vtable slot, every member
// by dispatch identifier, and a key from a second apartment. Each call must land
// on its member; what the members do in depth is tested with the classes.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "client_support.h"

namespace client {
namespace {

// Each test works on a scratch key with a sub-key "leaf" and a value "text".
struct Surface : ::testing::Test {
  ScratchKey scratch;
  Surface() { scratch.Make(L"leaf"), scratch.SetString(L"text", L"abc"); }
};

TEST_F(Surface, EarlyBoundEverySlotOfEveryInterface) {
  ComPtr<_clsKey> key = Create<_clsKey>(CLSID_clsKey, IID__clsKey), item;
  ComPtr<_clsKeys> keys = Create<_clsKeys>(CLSID_clsKeys, IID__clsKeys), ks, ks2;
  ComPtr<_clsValues> values = Create<_clsValues>(CLSID_clsValues, IID__clsValues), vs, vs2;
  ComPtr<clsValue> record;
  ASSERT_TRUE(key && keys && values);
  LONG root = kCurrentUser, n = 0, sz = REG_SZ;
  VARIANT_BOOL yes = VARIANT_FALSE;
  Variant leaf(scratch.Below(L"leaf")), top(scratch.path), name(L"leaf"), added(L"added"), text, v, one(1),
      by_name(L"text"), xyz(L"xyz"), seven(7), empty, object(static_cast<IDispatch*>(values.Get()));
  auto ok = [](HRESULT hr) { return hr == S_OK; };
  auto same = [](IUnknown* a, IUnknown* b) { return Identity(a) == Identity(b); };
  const std::pair<const char*, std::function<bool()>> calls[] = {
      {"_clsKey 15, 17", [&] { return ok(key->put_HKEY(&root)) && ok(key->put_Path(&V_BSTR(&leaf))); }},
      {"_clsKey 14", [&] { return ok(key->get_HKEY(&n)) && n == kCurrentUser; }},
      {"_clsKey 16", [&] { return ok(key->get_Path(Out(text))) && text.Text() == scratch.Below(L"leaf"); }},
      {"_clsKey 13", [&] { return ok(key->get_Exists(&yes)) && yes == VARIANT_TRUE; }},
      {"_clsKey 19", [&] { return ok(key->get_Name(Out(text))) && text.Text() == L"leaf"; }},
      {"_clsKey 7, 10", [&] { return ok(key->get_Values(&vs)) && ok(key->get_SubKeys(&ks)) && vs && ks; }},
      {"_clsKey 18", [&] { return ok(key->Refresh()) && ok(key->get_Values(&vs2)) && !same(vs.Get(), vs2.Get()); }},
      {"_clsKey 9, 12", [&] { return ok(key->putref_Values(vs.Get())) && ok(key->putref_SubKeys(ks.Get())); }},
      {"_clsKey 8, 11: refused, fields kept", [&] {
         return FAILED(key->let_Values(vs2.Get())) && FAILED(key->let_SubKeys(nullptr)) && ok(key->get_Values(&vs2)) &&
                same(vs.Get(), vs2.Get()) && ok(key->get_SubKeys(&ks2)) && same(ks.Get(), ks2.Get());
       }},
      {"_clsKeys 11, 13", [&] { return ok(keys->put_HKEY(&root)) && ok(keys->put_Path(&V_BSTR(&top))); }},
      {"_clsKeys 10", [&] { return ok(keys->get_HKEY(&n)) && n == kCurrentUser; }},
      {"_clsKeys 12", [&] { return ok(keys->get_Path(Out(text))) && text.Text() == scratch.path; }},
      {"_clsKeys 8", [&] { return ok(keys->get_Count(&n)) && n == 1; }},
      {"_clsKeys 9",
       [&] { return ok(keys->get_Item(&one, &item)) && ok(item->get_Name(Out(text))) && text.Text() == L"leaf"; }},
      {"_clsKeys 7", [&] { return ok(keys->get_KeyExists(&V_BSTR(&name), &yes)) && yes == VARIANT_TRUE; }},
      {"_clsKeys 15",
       [&] { return ok(keys->Add(&V_BSTR(&added), &yes)) && yes == VARIANT_TRUE && scratch.Has(L"added"); }},
      {"_clsKeys 14", [&] { return ok(keys->Refresh()) && ok(keys->get_Count(&n)) && n == 2; }},
      {"_clsKeys 16",
       [&] { return ok(keys->Delete(&V_BSTR(&added), &yes)) && yes == VARIANT_TRUE && !scratch.Has(L"added"); }},
      {"_clsValues 15, 13", [&] { return ok(values->put_HKEY(&root)) && ok(values->put_Path(&V_BSTR(&top))); }},
      {"_clsValues 14", [&] { return ok(values->get_HKEY(&n)) && n == kCurrentUser; }},
      {"_clsValues 12", [&] { return ok(values->get_Path(Out(text))) && text.Text() == scratch.path; }},
      {"_clsValues 9", [&] { return ok(values->get_Count(&n)) && n == 1; }},
      {"_clsValues 7", [&] { return ok(values->get_ValueExists(&V_BSTR(&by_name), &yes)) && yes == VARIANT_TRUE; }},
      {"_clsValues 10", [&] { return ok(values->Add(&V_BSTR(&added), &xyz, &sz, &yes)) && yes == VARIANT_TRUE; }},
      {"_clsValues 16", [&] { return ok(values->Refresh()) && ok(values->get_Count(&n)) && n == 2; }},
      {"_clsValues 11", [&] { return ok(values->Delete(&V_BSTR(&added), &yes)) && yes == VARIANT_TRUE; }},
      {"_clsValues 8", [&] { return ok(values->get_Item(&by_name, &record)) && record; }},
      {"clsValue 7", [&] { return ok(record->get_Name(Out(text))) && text.Text() == L"text"; }},
      {"clsValue 9", [&] { return ok(record->get_Value(&v)) && v.Text() == L"abc"; }},
      {"clsValue 12", [&] { return ok(record->get_ValueType(&n)) && n == REG_SZ; }},
      {"clsValue 8", [&] {
         return ok(record->put_Name(V_BSTR(&name))) && ok(record->get_Name(Out(text))) && text.Text() == L"leaf";
       }},
      {"clsValue 10", [&] { return ok(record->put_Value(&seven)) && ok(record->get_Value(&v)) && V_I4(&v) == 7; }},
      {"clsValue 13", [&] { return ok(record->put_ValueType(REG_DWORD)) && ok(record->get_ValueType(&n)) && n == 4; }},
      {"clsValue 11", [&] {
         return ok(record->putref_Value(&object)) && ok(record->get_Value(&v)) && V_VT(&v) == VT_DISPATCH &&
                same(V_DISPATCH(&v), values.Get()) && ok(record->put_Value(&empty));  // leaves no reference cycle
       }},
  };
  for (const auto& [slots, call] : calls) EXPECT_TRUE(call()) << slots;
}

// Each row calls a member by identifier; a result is compared with want when
// there is one (VT_DISPATCH: any object). A row with keep holds its object.
TEST_F(Surface, EveryMemberByItsDispatchIdentifier) {
  enum { kKey, kKeys, kValues, kRecord };
  ComPtr<IDispatch> objects[] = {Create<IDispatch>(CLSID_clsKey, IID_IDispatch),
                                 Create<IDispatch>(CLSID_clsKeys, IID_IDispatch),
                                 Create<IDispatch>(CLSID_clsValues, IID_IDispatch), nullptr};
  Variant object(static_cast<IDispatch*>(nullptr)), yes;
  V_VT(&yes) = VT_BOOL, V_BOOL(&yes) = VARIANT_TRUE;
  const std::wstring top = scratch.path, leaf = scratch.Below(L"leaf");
  struct Row { int object; DISPID id; WORD kind; std::vector<Variant> args; Variant want = {}; int keep = -1; };
  const Row rows[] = {
      {kKey, 0x68030002, kPut, {kCurrentUser}}, {kKey, 0x68030002, kGet, {}, kCurrentUser},  // HKEY
      {kKey, 0x68030001, kPut, {leaf}}, {kKey, 0x68030001, kGet, {}, leaf},                  // Path
      {kKey, 0x60030004, kCall, {}},                                                         // Refresh
      {kKey, 0x68030003, kGet, {}, yes},                                                     // Exists
      {kKey, 0x68030000, kGet, {}, L"leaf"},                                                 // Name
      {kKey, 0x40030003, kGet, {}, object}, {kKey, 0x40030003, kSet, {objects[kValues].Get()}},  // Values
      {kKey, 0x40030004, kGet, {}, object}, {kKey, 0x40030004, kSet, {objects[kKeys].Get()}},    // SubKeys
      {kKeys, 0x68030001, kPut, {kCurrentUser}}, {kKeys, 0x68030001, kGet, {}, kCurrentUser},  // HKEY
      {kKeys, 0x68030000, kPut, {top}}, {kKeys, 0x68030000, kGet, {}, top},                    // Path
      {kKeys, 0x68030002, kGet, {}, 1},                                                        // Count
      {kKeys, DISPID_VALUE, kGet, {1}, object},                                                // Item
      {kKeys, 0x68030003, kGet, {L"leaf"}, yes},                                               // KeyExists
      {kKeys, 0x60030006, kCall, {L"added"}, yes},                                             // Add
      {kKeys, 0x60030004, kCall, {}}, {kKeys, 0x68030002, kGet, {}, 2},                        // Refresh
      {kKeys, 0x60030007, kCall, {L"added"}, yes},                                             // Delete
      {kValues, 0x68030000, kPut, {kCurrentUser}}, {kValues, 0x68030000, kGet, {}, kCurrentUser},  // HKEY
      {kValues, 0x68030001, kPut, {top}}, {kValues, 0x68030001, kGet, {}, top},                    // Path
      {kValues, 0x68030002, kGet, {}, 1},                                                          // Count
      {kValues, 0x68030003, kGet, {L"text"}, yes},                                                 // ValueExists
      {kValues, 0x60030004, kCall, {L"added", L"xyz", REG_SZ}, yes},                               // Add
      {kValues, 0x60030006, kCall, {}}, {kValues, 0x68030002, kGet, {}, 2},                        // Refresh
      {kValues, 0x60030005, kCall, {L"added"}, yes},                                               // Delete
      {kValues, DISPID_VALUE, kGet, {L"text"}, object, kRecord},                                   // Item
      {kRecord, 0x40030000, kGet, {}, L"text"},                                                    // Name
      {kRecord, 0x40030001, kPut, {5}}, {kRecord, 0x40030001, kGet, {}, 5},                        // Value
      {kRecord, 0x40030002, kGet, {}, REG_SZ},                                                     // ValueType
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << &row - rows << std::hex << ", identifier 0x" << row.id);
    Variant result;
    const VARTYPE want = V_VT(&row.want);
    ASSERT_TRUE(objects[row.object]);
    ASSERT_EQ(S_OK, Invoke(objects[row.object].Get(), row.id, row.kind, row.args, &result));
    EXPECT_TRUE(want == VT_EMPTY || (want == V_VT(&result) && (want == VT_DISPATCH ||
        ::VarCmp(&result, const_cast<Variant*>(&row.want), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ)));
    if (row.keep >= 0 && V_VT(&result) == VT_DISPATCH) objects[row.keep] = V_DISPATCH(&result);
  }
}

DWORD WINAPI RunOnSecondSta(void* body) {
  EXPECT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  (*static_cast<std::function<void()>*>(body))();
  return ::CoUninitialize(), 0;
}

// A key object made on this STA and used from a second STA through a
// marshalled IDispatch: every call crosses to this thread and lands in the
// one object. Not early-bound: Wine 8's type-library marshaller takes
// cbSizeVft/4 - cFuncs slots as inherited, and since slots 8 and 11 of
// _clsKey are not described, it routes calls to slots 7 to 12 to the wrong
// members (seen to hang). That is a limitation of Wine, not of the library,
// and IDispatch is unaffected.
// A tree far deeper than Windows allows (Wine sets no limit), deleted
// through a sub-key collection on a thread with a stack of 1 MB: the delete
// keeps each level on the heap, not in a nested call.
TEST(DeepTree, IsDeletedWithoutAStackOfItsDepth) {
  ScratchKey scratch;
  std::wstring deep = L"deep";
  for (int i = 0; i < 15000; ++i) deep += L"\\a";
  ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, scratch.Below(deep)));
  struct Run {
    std::wstring parent;
    VARIANT_BOOL deleted = VARIANT_FALSE;
    static DWORD WINAPI Body(void* p) {
      auto* run = static_cast<Run*>(p);
      ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      {
        ComPtr<_clsKeys> keys = Create<_clsKeys>(CLSID_clsKeys, IID__clsKeys);
        LONG root = kCurrentUser;
        BSTR path = ::SysAllocString(run->parent.c_str()), name = ::SysAllocString(L"deep");
        if (keys) keys->put_HKEY(&root), keys->put_Path(&path), keys->Delete(&name, &run->deleted);
        ::SysFreeString(path), ::SysFreeString(name);
      }
      ::CoUninitialize();
      return 0;
    }
  } run{scratch.path};
  HANDLE thread = ::CreateThread(nullptr, 1024 * 1024, Run::Body, &run, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(nullptr, thread);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  EXPECT_EQ(VARIANT_TRUE, run.deleted);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.Below(L"deep")));
}

TEST_F(Surface, SecondStaUsesAKeyThroughIDispatch) {
  ComPtr<IDispatch> key = Create<IDispatch>(CLSID_clsKey, IID_IDispatch);
  ComPtr<IStream> stream;
  Variant path;
  ASSERT_TRUE(key);
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x68030002, kPut, {kCurrentUser}));
  ASSERT_EQ(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IDispatch, key.Get(), &stream));
  std::function<void()> body = [&] {
    ComPtr<IDispatch> remote;
    ComPtr<IMarshal> proxy;
    Variant value, values;
    ASSERT_EQ(S_OK, ::CoGetInterfaceAndReleaseStream(stream.Detach(), IID_IDispatch, &remote));
    EXPECT_EQ(S_OK, remote.As(&proxy)) << "a proxy: the library's own objects never answer IMarshal";
    EXPECT_EQ(S_OK, Invoke(remote.Get(), 0x68030001, kPut, {scratch.Below(L"leaf")}));  // Path
    EXPECT_EQ(S_OK, Invoke(remote.Get(), 0x68030000, kGet, {}, &value));                // Name
    EXPECT_EQ(L"leaf", value.Text());
    // An object field comes back as a further proxy.
    ASSERT_EQ(S_OK, Invoke(remote.Get(), 0x40030003, kGet, {}, &values));  // Values
    ASSERT_EQ(VT_DISPATCH, V_VT(&values));
    EXPECT_EQ(S_OK, Invoke(V_DISPATCH(&values), 0x68030000, kGet, {}, &value));  // its HKEY
    EXPECT_EQ(kCurrentUser, V_I4(&value));
  };
  HANDLE thread = ::CreateThread(nullptr, 0, RunOnSecondSta, &body, 0, nullptr);
  DWORD index = 0;
  ASSERT_TRUE(thread);
  // This thread serves the calls from there while it waits. That thread uses
  // this frame, so there is no returning from here if it hangs: end the run.
  if (::CoWaitForMultipleHandles(0, 60000, 1, &thread, &index) != S_OK) {
    std::fputs("a call from the second apartment did not return within 60 s\n", stderr);  // stderr is unbuffered
    ::TerminateProcess(::GetCurrentProcess(), 3);
  }
  ::CloseHandle(thread);
  ASSERT_EQ(S_OK, Invoke(key.Get(), 0x68030001, kGet, {}, &path));
  EXPECT_EQ(scratch.Below(L"leaf"), path.Text()) << "the assignment made there changed this apartment's object";
}

}  // namespace
}  // namespace client
