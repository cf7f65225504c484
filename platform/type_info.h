// The type information of the library's interfaces, loaded once, lazily,
// from the type library embedded in the module that holds this code, and
// shared by every object.
#pragma once

#include <oaidl.h>

namespace vorn::type_info {

// The vtable-side description (TKIND_INTERFACE) of a dual interface of the
// library, used for dispatch. Not AddRef'd: valid until Release(). Null with
// a failure status when the library cannot be loaded.
HRESULT ForInterface(const IID& iid, ITypeInfo** info) noexcept;

// Drops the cached library, for a module about to be unloaded.
void Release() noexcept;

}  // namespace vorn::type_info
