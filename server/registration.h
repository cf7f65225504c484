// The module's registration entries, written and removed below a classes
// root (HKEY_CLASSES_ROOT per machine, HKCU\Software\Classes per user):
//
//   CLSID\{clsid}                 = ProgID of the class
//     InprocServer32              = module path, ThreadingModel = Apartment
//     ProgID                      = VornRegAccLib.<class>
//     TypeLib                     = {libid}
//     Version                     = 1.0
//   VornRegAccLib.<class>         = ProgID of the class
//     CLSID                       = {clsid}
//   TypeLib\{libid}\1.0           = Vorn Registry Access Library
//     0\win32 or 0\win64          = module path (the module's pointer size)
//     FLAGS                       = 0
//     HELPDIR                     = (empty)
//   Interface\{iid}               = interface name
//     ProxyStubClsid, ProxyStubClsid32 = the automation marshaller
//     TypeLib                     = {libid}, Version = 1.0
//
// for each creatable class and for the default interface of every class.
//
// On 64-bit Windows the 32-bit and the 64-bit module can be registered side
// by side: CLSID and Interface keys are per registry view, while the ProgIDs
// and the TypeLib key are shared by both views.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vorn::server {

// One string value of the registration: path is below the classes root,
// an empty name is the key's default value.
struct RegistrationEntry {
  std::wstring path;
  std::wstring name;
  std::wstring text;
};

// Every value that registration writes for a module at module_path, in the
// order it writes them; win64 picks the type library's platform key. The
// installer packages are generated from this same list.
std::vector<RegistrationEntry> RegistrationEntries(const std::wstring& module_path, bool win64);

// Writes every entry. On failure the entries that this call created are
// removed again, values it overwrote get their earlier contents back, and the
// first failure is returned as an HRESULT.
HRESULT RegisterServer(HKEY classes_root, const std::wstring& module_path) noexcept;

// Removes every entry, whole trees of the library's own keys, never a shared
// parent, and nothing that the module of the other pointer size still uses:
// a ProgID stays while the other view has its CLSID, the type library's
// version key while another platform is registered under it. Entries that
// are already gone count as removed; a removal that fails does not stop the
// others, and the first failure is returned.
HRESULT UnregisterServer(HKEY classes_root) noexcept;

// Where a registration goes. Per machine: through HKEY_CLASSES_ROOT, as
// DllRegisterServer always has, which needs administrator rights. Per user:
// HKCU\Software\Classes, named explicitly, which Windows merges into
// HKEY_CLASSES_ROOT for that user alone; nothing goes under HKLM.
enum class Scope { kMachine, kUser };

// DllInstall's command line: empty (or none) and "machine" name the machine,
// "user" the current user, in any case. Anything else is refused (false).
bool ScopeFromCommandLine(const wchar_t* command_line, Scope& scope) noexcept;

// RegisterServer and UnregisterServer in the classes root of scope.
HRESULT RegisterServer(Scope scope, const std::wstring& module_path) noexcept;
HRESULT UnregisterServer(Scope scope) noexcept;

}  // namespace vorn::server
