// The type information of the library's interfaces, loaded once, lazily,
// from the type library embedded in the module that holds this code, and
// shared by every object; with it, what dispatch needs to know of each
// member, collected once so that a call looks nothing up in the type info.
#pragma once

#include <oaidl.h>

#include <vector>

namespace vorn::type_info {

// How dispatch treats one parameter.
enum class ParamKind : unsigned char {
  kOther,      // handed to the platform's dispatch as it comes
  kStringRef,  // a reference to a string
  kLongRef,    // a reference to a 32-bit integer or an enumeration
  kRootRef,    // a reference to a root key handle (the enHKEY enumeration)
};

// One member of an interface as dispatch sees it.
struct Member {
  static constexpr int kMaxParams = 8;  // the library's members have at most 4
  DISPID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  UINT params = 0;  // declared parameters, the return value included
  ParamKind param_kinds[kMaxParams] = {};
  bool converts = false;  // some parameter is not kOther
};

struct Interface {
  ITypeInfo* info = nullptr;  // the vtable side; owned by the cache
  std::vector<Member> members;
  // The member that a call with these DISPATCH_ flags reaches (a method
  // first, then a property read, assignment, reference assignment), or null.
  const Member* Find(DISPID id, WORD flags) const noexcept;
};

// The vtable-side description (TKIND_INTERFACE) of a dual interface of the
// library, with its members, used for dispatch. Valid until Release(). A
// failure status when the library cannot be loaded.
HRESULT ForInterface(const IID& iid, const Interface** found) noexcept;

// Drops the cached library, for a module about to be unloaded.
void Release() noexcept;

}  // namespace vorn::type_info
