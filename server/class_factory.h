// The module's class table and its class objects. One table describes every
// class of the library; the class objects and the registration entries are
// both derived from it.
#pragma once

#include <objbase.h>

#include <span>

namespace vorn::server {

// Makes a new object of a class and returns its interface riid.
using Creator = HRESULT (*)(REFIID riid, void** object) noexcept;

struct ClassRecord {
  const wchar_t* name;            // class name, e.g. L"clsKey"
  const wchar_t* interface_name;  // its default interface, e.g. L"_clsKey"
  const CLSID* clsid;
  const IID* default_iid;
  Creator create;  // null: not creatable, so no class object and no class entry
};

inline constexpr wchar_t kLibraryName[] = L"VornRegAccLib";
inline constexpr wchar_t kLibraryDescription[] = L"Vorn Registry Access Library";

// Every class of the library, the record class clsValue included.
std::span<const ClassRecord> ModuleClasses() noexcept;

// DllGetClassObject: the class object of a creatable class, or
// CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) noexcept;

// DllCanUnloadNow: true when no object of the module, no reference to a class
// object and no lock on one is outstanding.
bool CanUnloadNow() noexcept;

}  // namespace vorn::server
