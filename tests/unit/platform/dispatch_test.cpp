// Late-bound calls as native clients make them: malformed arguments are
// refused with a described error before any member runs, null pointers at
// the vtable are described too, and a root key handle takes JScript's
// unsigned reading of the predefined handles.
#include <gtest/gtest.h>

#include "keys/key.h"
#include "keys/keys.h"
#include "platform/errors.h"
#include "support/com.h"
#include "values/value.h"
#include "values/values.h"

namespace vorn {
namespace {

using namespace test;

VARIANT NullRef(VARTYPE vt) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | vt;
  V_BYREF(&v) = nullptr;
  return v;
}

TEST(DispatchTest, MalformedArgumentsAreRefusedWithADescription) {
  ComPtr<Values> values = Values::Create();
  ComPtr<Keys> keys = Keys::Create();
  ComPtr<Value> record = Value::Create();
  VARIANT null_long = NullRef(VT_I4), cycle;
  V_VT(&cycle) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&cycle) = &cycle;
  unique_variant one = VI4(1);
  VARIANT ref_one = Ref(one.ref());  // a reference to a reference, which COM forbids
  DISPID put = DISPID_PROPERTYPUT;
  struct Row {
    const char* what;
    IDispatch* object;
    DISPID id;
    WORD flags;
    VARIANT arg;
    HRESULT want = errors::kInvalidProcedureCall;
    bool no_args = false, no_names = false;
  } rows[] = {
      {"Item, string by reference", values->Published(), DISPID_VALUE, DISPATCH_PROPERTYGET, NullRef(VT_BSTR)},
      {"Item, variant by reference", keys->Published(), DISPID_VALUE, DISPATCH_METHOD, NullRef(VT_VARIANT)},
      {"Item, null one level down", values->Published(), DISPID_VALUE, DISPATCH_PROPERTYGET, Ref(null_long)},
      {"Item, a cycle of references", values->Published(), DISPID_VALUE, DISPATCH_PROPERTYGET, cycle},
      {"Item, a reference to a reference", keys->Published(), DISPID_VALUE, DISPATCH_METHOD, Ref(ref_one)},
      {"Value, a reference to a reference", record->Published(), 0x40030001, DISPATCH_PROPERTYPUT, Ref(ref_one)},
      {"HKEY, a reference to a reference", keys->Published(), 0x68030001, DISPATCH_PROPERTYPUT, Ref(ref_one)},
      {"Value, string by reference", record->Published(), 0x40030001, DISPATCH_PROPERTYPUT, NullRef(VT_BSTR)},
      {"Value, integer by reference", record->Published(), 0x40030001, DISPATCH_PROPERTYPUT, null_long},
      {"Path, string by reference", keys->Published(), 0x68030000, DISPATCH_PROPERTYPUT, NullRef(VT_BSTR)},
      {"HKEY, object by reference", keys->Published(), 0x68030001, DISPATCH_PROPERTYPUT, NullRef(VT_DISPATCH)},
      {"no argument array", values->Published(), DISPID_VALUE, DISPATCH_PROPERTYGET, Of(VT_I4, 1).release(),
       errors::kInvalidProcedureCall, true},
      {"no name array", record->Published(), 0x40030001, DISPATCH_PROPERTYPUT, Of(VT_I4, 1).release(),
       errors::kInvalidProcedureCall, false, true},
      // What the platform's dispatch cannot convert gets a description too.
      {"Path, an unknown type", keys->Published(), 0x68030000, DISPATCH_PROPERTYPUT, Of(VT_EMPTY).release(),
       errors::kTypeMismatch},
  };
  V_VT(&rows[std::size(rows) - 1].arg) = 0x7FF;
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    bool named = (row.flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params{row.no_args ? nullptr : &row.arg, named && !row.no_names ? &put : nullptr, 1, named ? 1u : 0u};
    // With an EXCEPINFO, as script engines call; without one, as a bare
    // native client may: the number then comes back as the result.
    EXCEPINFO excep{};
    UINT arg_err = 99;
    EXPECT_EQ(DISP_E_EXCEPTION, row.object->Invoke(row.id, IID_NULL, 0, row.flags, &params, nullptr, &excep, &arg_err));
    EXPECT_EQ(row.want, excep.scode);
    EXPECT_EQ(DescriptionOf(row.want), W(excep.bstrDescription));
    EXPECT_EQ(L"VornRegAccLib", W(excep.bstrSource));
    ::SysFreeString(excep.bstrDescription), ::SysFreeString(excep.bstrSource);
    EXPECT_EQ(row.want, row.object->Invoke(row.id, IID_NULL, 0, row.flags, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(DescriptionOf(row.want), ThreadErrorDescription());
  }
  unique_variant data;
  EXPECT_EQ(S_OK, record->get_Value(&data.ref()));
  EXPECT_EQ(VT_EMPTY, V_VT(&data.ref())) << "no refused call reached the member";
}

TEST(DispatchTest, VtableRefusesNullReferencesAndDescribesNullPointers) {
  ComPtr<Values> values = Values::Create();
  ComPtr<Value> record = Value::Create();
  VARIANT null_text = NullRef(VT_BSTR), null_variant = NullRef(VT_VARIANT);
  ComPtr<clsValue> item;
  EXPECT_EQ(errors::kInvalidProcedureCall, record->put_Value(&null_text));
  EXPECT_EQ(errors::kInvalidProcedureCall, record->putref_Value(&null_variant));
  EXPECT_EQ(errors::kInvalidProcedureCall, values->get_Item(&null_text, item.put()));
  unique_bstr name = MakeBstr(L"x");
  LONG type = REG_SZ;
  VARIANT_BOOL added = VARIANT_TRUE;
  EXPECT_EQ(errors::kInvalidProcedureCall, values->Add(&name.ref(), &null_variant, &type, &added));
  EXPECT_EQ(L"Invalid procedure call or argument", ThreadErrorDescription());
  ::SetErrorInfo(0, nullptr);
  EXPECT_EQ(E_POINTER, values->get_Count(nullptr));
  EXPECT_EQ(L"Invalid pointer", ThreadErrorDescription());
  ::SetErrorInfo(0, nullptr);
  EXPECT_EQ(E_POINTER, record->get_Name(nullptr));
  EXPECT_EQ(L"Invalid pointer", ThreadErrorDescription());
  ::SetErrorInfo(0, nullptr);
  EXPECT_EQ(E_NOTIMPL, Key::Create()->let_Values(nullptr)) << "the undescribed let slot refuses";
  EXPECT_FALSE(ThreadErrorDescription().empty());
}

TEST(DispatchTest, RootKeyTakesTheUnsignedFormOfA32BitPattern) {
  ComPtr<IDispatch> objects[] = {ComPtr<IDispatch>(Key::Create()->Published()),
                                 ComPtr<IDispatch>(Keys::Create()->Published()),
                                 ComPtr<IDispatch>(Values::Create()->Published())};
  for (auto& object : objects) {
    // Numbers as JScript passes them: doubles, by value or as a variable.
    const struct { double number; HRESULT hr; LONG root; } cases[] = {
        {2147483649.0, S_OK, static_cast<LONG>(0x80000001)}, {4294967295.0, S_OK, -1},
        {-2147483647.0, S_OK, static_cast<LONG>(0x80000001)}, {4294967296.0, errors::kOverflow, 0},
        {-2147483649.0, errors::kOverflow, 0}};
    for (const auto& c : cases) {
      for (bool variable : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.number << (variable ? " as a variable" : " by value"));
        unique_variant number = Of(VT_R8, c.number), read;
        unique_variant sentinel = VI4(7);
        ASSERT_EQ(S_OK, Invoke(object.get(), L"HKEY", DISPATCH_PROPERTYPUT, {sentinel.ref()}));
        EXPECT_EQ(c.hr, Invoke(object.get(), L"HKEY", DISPATCH_PROPERTYPUT,
                               {variable ? Ref(number.ref()) : number.ref()}));
        EXPECT_EQ(S_OK, Invoke(object.get(), L"HKEY", DISPATCH_PROPERTYGET, {}, &read.ref()));
        EXPECT_EQ(SUCCEEDED(c.hr) ? c.root : 7, V_I4(&read.ref()));
        EXPECT_EQ(VT_R8, V_VT(&number.ref())) << "the caller's variable keeps its number";
      }
    }
  }
  // Only the root key widens: a value type code does not.
  ComPtr<Values> values = Values::Create();
  unique_variant big = Of(VT_R8, 2147483649.0);
  EXPECT_EQ(errors::kOverflow, Invoke(values->Published(), L"Add", DISPATCH_METHOD,
                                    {VStr(L"n").ref(), VI4(1).ref(), big.ref()}));
}

}  // namespace
}  // namespace vorn
