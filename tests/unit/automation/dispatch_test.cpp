// Late-bound calls as native clients make them: malformed arguments are
// refused with a described error before any member runs, null pointers at
// the vtable are described too, a root key handle takes JScript's unsigned
// reading of the predefined handles, and the members beyond the type library
// keep the rules of the published ones.
#include <gtest/gtest.h>

#include "keys/key.h"
#include "keys/keys.h"
#include "automation/errors.h"
#include "harness/com.h"
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

// The members beyond the type library: their names answered in any case, on
// the classes that have them only, and their calls held to the rules of the
// published members.
TEST(DispatchTest, ExtraMembersAnswerTheirNamesAndRefuseMalformedCalls) {
  ComPtr<Values> values = Values::Create();
  ComPtr<Key> key = Key::Create();
  ComPtr<Keys> keys = Keys::Create();
  IDispatch *vs = values->Published(), *k = key->Published(), *ks = keys->Published();
  const struct { IDispatch* object; const wchar_t* name; DISPID id; } names[] = {
      {vs, L"getvalue", VORN_DISPID_GETVALUE}, {vs, L"SETVALUE", VORN_DISPID_SETVALUE}, {vs, L"View", VORN_DISPID_VIEW},
      {k, L"vIEW", VORN_DISPID_VIEW}, {ks, L"view", VORN_DISPID_VIEW}, {k, L"GetValue", DISPID_UNKNOWN},
      {ks, L"SetValue", DISPID_UNKNOWN}, {vs, L"Views", DISPID_UNKNOWN}};
  for (const auto& n : names) {
    LPOLESTR name[] = {const_cast<LPOLESTR>(n.name)};
    DISPID id = 0;
    EXPECT_EQ(n.id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK, n.object->GetIDsOfNames(IID_NULL, name, 1, 0, &id))
        << Narrow(n.name);
    if (n.id != DISPID_UNKNOWN) { EXPECT_EQ(n.id, id) << Narrow(n.name); }
  }
  LPOLESTR with_parameter[] = {const_cast<LPOLESTR>(L"GetValue"), const_cast<LPOLESTR>(L"ValueName")};
  DISPID ids[2] = {};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, vs->GetIDsOfNames(IID_NULL, with_parameter, 2, 0, ids)) << "no named parameters";
  EXPECT_EQ(VORN_DISPID_GETVALUE, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);

  // What a caller sees: a bare status, or an exception's number, which then
  // carries a description.
  unique_variant view = VI4(64), text = VStr(L"x"), thirty_two = VStr(L"32"), seven = VI4(7), null = Of(VT_NULL);
  unique_variant object;
  V_VT(&object.ref()) = VT_DISPATCH, V_DISPATCH(&object.ref()) = values.copy();
  const struct { const char* what; IDispatch* object; DISPID id; WORD flags; std::vector<VARIANT> args; HRESULT want;
                 bool named = false; } calls[] = {
      {"GetValue()", vs, VORN_DISPID_GETVALUE, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT},
      {"SetValue with two arguments", vs, VORN_DISPID_SETVALUE, DISPATCH_METHOD, {text.ref(), text.ref()},
       DISP_E_BADPARAMCOUNT},
      {"GetValue by a named argument", vs, VORN_DISPID_GETVALUE, DISPATCH_METHOD, {text.ref()}, DISP_E_NONAMEDARGS,
       true},
      {"GetValue assigned", vs, VORN_DISPID_GETVALUE, DISPATCH_PROPERTYPUT, {text.ref()}, DISP_E_MEMBERNOTFOUND},
      {"View = a variable holding 64", k, VORN_DISPID_VIEW, DISPATCH_PROPERTYPUT, {Ref(view.ref())}, S_OK},
      {"View(1)", k, VORN_DISPID_VIEW, DISPATCH_PROPERTYGET, {VI4(1).release()}, DISP_E_NOTACOLLECTION},
      {"Set View = an object", k, VORN_DISPID_VIEW, DISPATCH_PROPERTYPUTREF, {object.ref()}, DISP_E_MEMBERNOTFOUND},
      {"View = 7", k, VORN_DISPID_VIEW, DISPATCH_PROPERTYPUT, {seven.ref()}, errors::kInvalidProcedureCall},
      {"View = Null", k, VORN_DISPID_VIEW, DISPATCH_PROPERTYPUT, {null.ref()}, errors::kInvalidProcedureCall},
      {"View = a null reference", k, VORN_DISPID_VIEW, DISPATCH_PROPERTYPUT, {NullRef(VT_VARIANT)},
       errors::kInvalidProcedureCall},
      {"GetValue of a null reference", vs, VORN_DISPID_GETVALUE, DISPATCH_METHOD, {NullRef(VT_BSTR)},
       errors::kInvalidProcedureCall},
      {"View = a variable holding \"32\"", ks, VORN_DISPID_VIEW, DISPATCH_PROPERTYPUT, {Ref(thirty_two.ref())}, S_OK},
  };
  for (const auto& call : calls) {
    SCOPED_TRACE(call.what);
    std::vector<VARIANT> args(call.args.rbegin(), call.args.rend());
    bool put = call.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    DISPID named = put ? DISPID_PROPERTYPUT : 0;
    DISPPARAMS params{args.data(), put || call.named ? &named : nullptr, static_cast<UINT>(args.size()),
                      put || call.named ? 1u : 0u};
    EXCEPINFO excep{};
    unique_variant result;
    HRESULT hr = call.object->Invoke(call.id, IID_NULL, 0, call.flags, &params, &result.ref(), &excep, nullptr);
    EXPECT_EQ(call.want, hr == DISP_E_EXCEPTION ? excep.scode : hr);
    EXPECT_EQ(hr == DISP_E_EXCEPTION, excep.bstrDescription && *excep.bstrDescription);
    ::SysFreeString(excep.bstrDescription), ::SysFreeString(excep.bstrSource);
  }
  unique_variant read;
  EXPECT_EQ(S_OK, Invoke(k, L"View", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &read.ref()));
  EXPECT_EQ(VT_I4, V_VT(&read.ref()));
  EXPECT_EQ(64, V_I4(&read.ref())) << "only the variable's 64 was taken";
  EXPECT_EQ(VT_I4, V_VT(&view.ref())) << "and the variable keeps it";
  EXPECT_EQ(S_OK, Invoke(ks, L"View", DISPATCH_PROPERTYGET, {}, &read.ref()));
  EXPECT_EQ(32, V_I4(&read.ref()));
}

}  // namespace
}  // namespace vorn
