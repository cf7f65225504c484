// Every combination of dispatch flags, 0 to 0x1F, on every member of every
// class through the registered module, with a record whose Value holds
// Nothing, an object or a number: no call crashes the host, every refusal
// carries a description, and a property without parameters called with
// arguments answers by the accessor that the flags name.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "client_support.h"

namespace client {
namespace {

// The identifiers that the class's type information describes, and those
// served beyond it, tried on every class (a class without one refuses it).
std::set<DISPID> MembersOf(IDispatch* object) {
  std::set<DISPID> ids = {DISPID_VALUE, DISPID_NEWENUM, 0x7777, VORN_DISPID_GETVALUE, VORN_DISPID_SETVALUE,
                          VORN_DISPID_VIEW, VORN_DISPID_EXPORT, VORN_DISPID_IMPORT, VORN_DISPID_COPYTREE,
                          VORN_DISPID_RENAME, VORN_DISPID_WAITFORCHANGE};
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(S_OK, object->GetTypeInfo(0, 0, &info));
  FUNCDESC* f = nullptr;
  // Wine counts phantom functions for the undescribed slots: up to the first that fails.
  for (UINT i = 0; info && SUCCEEDED(info->GetFuncDesc(i, &f)); ++i) ids.insert(f->memid), info->ReleaseFuncDesc(f);
  return ids;
}

struct Answer {
  HRESULT hr;
  bool described;  // a success, or a failure with a description in EXCEPINFO or the thread's error information
};

// One call, with the missing marker as each argument. The 0x10 bit, which
// names no kind of call, also leaves out the EXCEPINFO, as some clients do.
Answer Call(IDispatch* object, DISPID id, WORD flags, UINT args, bool named) {
  Variant missing, result;
  V_VT(&missing) = VT_ERROR, V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
  VARIANT rgvarg[2] = {missing, missing};
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{rgvarg, named ? &put : nullptr, args, named ? 1u : 0u};
  EXCEPINFO excep{};
  ::SetErrorInfo(0, nullptr);
  HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, &params, &result, (flags & 0x10) ? nullptr : &excep, nullptr);
  ComPtr<IErrorInfo> info;
  BSTR text = nullptr;
  bool described = hr == DISP_E_EXCEPTION && excep.bstrDescription
                       ? *excep.bstrDescription != 0
                       : ::GetErrorInfo(0, &info) == S_OK && info && info->GetDescription(&text) == S_OK &&
                             text && *text;
  ::SysFreeString(text), ::SysFreeString(excep.bstrDescription), ::SysFreeString(excep.bstrSource);
  ::SysFreeString(excep.bstrHelpFile);
  return {hr == DISP_E_EXCEPTION && excep.scode ? excep.scode : hr, SUCCEEDED(hr) || described};
}

TEST(DispatchFlags, EveryCombinationOnEveryMemberAnswersWithoutCrashingAndDescribesEachRefusal) {
  ScratchKey scratch;
  scratch.Make(L"leaf"), scratch.SetString(L"text", L"abc");
  Variant root(kCurrentUser), path(scratch.path);
  auto aimed = [&](const CLSID& clsid, DISPID hkey, DISPID at) {
    ComPtr<IDispatch> object = Create<IDispatch>(clsid, IID_IDispatch);
    EXPECT_TRUE(object && Invoke(object.Get(), hkey, kPut, {root}) == S_OK &&
                Invoke(object.Get(), at, kPut, {path}) == S_OK);
    return object;
  };
  ComPtr<IDispatch> key = aimed(CLSID_clsKey, 0x68030002, 0x68030001),
                    keys = aimed(CLSID_clsKeys, 0x68030001, 0x68030000),
                    values = aimed(CLSID_clsValues, 0x68030000, 0x68030001),
                    holder = aimed(CLSID_clsValues, 0x68030000, 0x68030001);
  ASSERT_TRUE(key && keys && values && holder);
  Variant item;
  ASSERT_EQ(S_OK, Invoke(values.Get(), DISPID_VALUE, kGet, {L"text"}, &item));
  ComPtr<IDispatch> record = V_DISPATCH(&item);
  constexpr DISPID kValue = 0x40030001;
  const Variant held[] = {static_cast<IDispatch*>(nullptr), holder.Get(), 7};  // Nothing, an object, a number
  const char* const kHeld[] = {"Nothing", "an object", "7"};

  std::map<HRESULT, int> answers;
  for (IDispatch* object : {key.Get(), keys.Get(), values.Get(), record.Get()}) {
    for (DISPID id : MembersOf(object)) {
      for (int state = 0; state < 3; ++state) {
        // Each shape of arguments: none, one, one named, two, two with the first named.
        for (int combination = 0; combination < 0x20 * 5; ++combination) {
          WORD flags = static_cast<WORD>(combination / 5);
          UINT args = (combination % 5 + 1) / 2;
          bool named = combination % 5 && combination % 5 % 2 == 0;
          SCOPED_TRACE(testing::Message() << std::hex << "identifier 0x" << id << ", flags 0x" << flags << ", "
                                          << args << (named ? " arguments, the first named" : " arguments")
                                          << ", Value holding " << kHeld[state]);
          ASSERT_EQ(S_OK, Invoke(record.Get(), kValue, state == 2 ? kPut : kSet, {held[state]}));
          Answer got = Call(object, id, flags, args, named);
          ++answers[got.hr];
          EXPECT_TRUE(got.described) << std::hex << "a bare status 0x" << got.hr;
          if (object != record.Get() || id != kValue) continue;
          // Value: the platform takes the first accessor the flags name (get,
          // let, set); a read passes no argument, an assignment its value
          // alone; further arguments index the object held.
          WORD accessor = (flags & kGet) || (flags & 0xF) == kCall ? kGet
                          : (flags & kPut)                       ? kPut
                          : (flags & kSet)                       ? kSet
                                                                 : 0;
          if (!accessor) {
            EXPECT_EQ(DISP_E_MEMBERNOTFOUND, got.hr);
          } else if (args > (accessor == kGet ? 0u : 1u)) {
            WORD forwarded = accessor | (flags & 0x10);
            EXPECT_EQ(held[state].vt == VT_DISPATCH && V_DISPATCH(&held[state])
                          ? Call(holder.Get(), DISPID_VALUE, forwarded, args, named).hr
                          : DISP_E_NOTACOLLECTION,
                      got.hr);
          } else if (accessor == kPut && named) {
            Variant now;
            EXPECT_EQ(S_OK, got.hr);
            EXPECT_EQ(S_OK, Invoke(record.Get(), kValue, kGet, {}, &now));
            EXPECT_EQ(VT_ERROR, V_VT(&now)) << "the value assigned";
          }
        }
      }
    }
  }
  for (const auto& [hr, count] : answers)
    std::printf("answered 0x%08lx: %d calls\n", static_cast<unsigned long>(hr), count);
  EXPECT_TRUE(scratch.Has(L"leaf")) << "no call reached a member that changes the registry";
}

}  // namespace
}  // namespace client
