// Writing and removing the module's registration entries, per machine and
// per user.
#include "server/registration.h"

#include <objbase.h>

#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "contract/guids.h"
#include "automation/ownership.h"
#include "registry/key_handle.h"
#include "server/class_factory.h"

namespace vorn::server {

namespace {

// The marshaller of dual, automation-compatible interfaces (PSOAInterface):
// it marshals calls from the interface's description in the type library.
constexpr wchar_t kAutomationMarshaller[] = L"{00020424-0000-0000-C000-000000000046}";
constexpr wchar_t kLibraryVersion[] = L"1.0";
// The per-user classes root, below HKEY_CURRENT_USER.
constexpr wchar_t kUserClasses[] = L"Software\\Classes";

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return text;
}

std::wstring ProgIdOf(const ClassRecord& record) { return std::wstring(kLibraryName) + L"." + record.name; }

// Writes string values below a root and keeps a journal of what it changed,
// so that a registration that fails part way can be undone: keys it created
// are deleted again, values it overwrote or added get their earlier state.
class JournalledWriter {
 public:
  explicit JournalledWriter(HKEY root) noexcept : root_(root) {}

  // Sets value `name` (null: the key's default value) of root\path to text,
  // creating the keys along path that are missing.
  LSTATUS Set(const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    unique_hkey key;
    if (LSTATUS status = CreatePath(path, key); status != ERROR_SUCCESS) return status;
    if (LSTATUS status = Remember(key.get(), path, name); status != ERROR_SUCCESS) return status;
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  // Undoes every change, the latest first. Best effort: nothing is reported.
  void Undo() noexcept {
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
      if (step->created_key) {
        ::RegDeleteTreeW(root_, step->path.c_str());
        continue;
      }
      unique_hkey key;
      if (::RegOpenKeyExW(root_, step->path.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) continue;
      const wchar_t* name = step->has_name ? step->name.c_str() : nullptr;
      if (step->had_value) {
        ::RegSetValueExW(key.get(), name, 0, step->type, step->data.data(), static_cast<DWORD>(step->data.size()));
      } else {
        ::RegDeleteValueW(key.get(), name);
      }
    }
    steps_.clear();
  }

 private:
  struct Step {
    bool created_key = false;  // path was created by this writer
    std::wstring path;
    // A value change: its earlier state.
    bool has_name = false;
    std::wstring name;
    bool had_value = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  // Opens root\path one component at a time, so that each key created on the
  // way is known and journalled.
  LSTATUS CreatePath(const std::wstring& path, unique_hkey& result) {
    HKEY parent = root_;
    unique_hkey current;
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find(L'\\', start);
      if (end == std::wstring::npos) end = path.size();
      const std::wstring component = path.substr(start, end - start);
      unique_hkey next;
      DWORD disposition = 0;
      // Room for the record first, so that recording a key once it exists
      // cannot fail.
      if (steps_.size() == steps_.capacity()) steps_.reserve(steps_.size() * 2 + 16);
      LSTATUS status =
          ::RegCreateKeyExW(parent, component.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_CREATE_SUB_KEY | KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, next.put(), &disposition);
      if (status != ERROR_SUCCESS) return status;
      if (disposition == REG_CREATED_NEW_KEY) {
        Step step;
        step.created_key = true;
        step.path = path.substr(0, end);
        steps_.push_back(std::move(step));
      }
      current.reset(next.release());
      parent = current.get();
      start = end + 1;
    }
    result.reset(current.release());
    return ERROR_SUCCESS;
  }

  // Journals the current state of value `name` of key before it is set.
  LSTATUS Remember(HKEY key, const std::wstring& path, const wchar_t* name) {
    Step step;
    step.path = path;
    step.has_name = name != nullptr;
    if (name) step.name = name;
    for (;;) {
      DWORD size = 0;
      LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &step.type, nullptr, &size);
      if (status == ERROR_FILE_NOT_FOUND) break;
      if (status != ERROR_SUCCESS) return status;
      step.data.resize(size);
      status = ::RegQueryValueExW(key, name, nullptr, &step.type, step.data.data(), &size);
      if (status == ERROR_MORE_DATA) continue;  // it grew in between
      if (status != ERROR_SUCCESS) return status;
      step.data.resize(size);
      step.had_value = true;
      break;
    }
    steps_.push_back(std::move(step));
    return ERROR_SUCCESS;
  }

  HKEY root_;
  std::vector<Step> steps_;
};

// This module's pointer size, which picks the type library's platform key.
constexpr bool kWin64 = sizeof(void*) == 8;

// The type library's platform key for a module of either pointer size.
const wchar_t* PlatformKey(bool win64) { return win64 ? L"win64" : L"win32"; }

LSTATUS WriteEntries(JournalledWriter& writer, const std::wstring& module_path) {
  for (const RegistrationEntry& entry : RegistrationEntries(module_path, kWin64)) {
    const wchar_t* name = entry.name.empty() ? nullptr : entry.name.c_str();
    if (LSTATUS status = writer.Set(entry.path, name, entry.text); status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

bool IsGone(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

// Deletes root\path when it has no sub-keys left.
LSTATUS DeleteIfEmpty(HKEY root, const std::wstring& path) {
  unique_hkey key;
  LSTATUS status = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
  if (status != ERROR_SUCCESS) return IsGone(status) ? ERROR_SUCCESS : status;
  DWORD sub_keys = 0;
  status = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
  key.reset();
  if (status != ERROR_SUCCESS) return status;
  if (sub_keys != 0) return ERROR_SUCCESS;
  status = ::RegDeleteKeyW(root, path.c_str());
  return IsGone(status) ? ERROR_SUCCESS : status;
}

// The registry view of the module built for the other pointer size.
constexpr REGSAM kOtherView = kWin64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// Sets registered when the other registry view has a CLSID key for clsid.
// On a 32-bit system the view flag is ignored and the module's own view is
// asked. A failure other than "not found" counts as registered, so that a
// ProgID still in use is never removed.
LSTATUS OtherViewHasClass(HKEY root, const GUID& clsid, bool& registered) {
  unique_hkey key;
  const std::wstring path = L"CLSID\\" + GuidText(clsid);
  LSTATUS status = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | kOtherView, key.put());
  registered = !IsGone(status);
  return status;
}

// Sets registered when the library version key root\path holds a locale key,
// and so the registration of some platform, beside FLAGS and HELPDIR.
LSTATUS HoldsLocale(HKEY root, const std::wstring& path, bool& registered) {
  registered = false;
  unique_hkey key;
  LSTATUS status = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put());
  if (status != ERROR_SUCCESS) return IsGone(status) ? ERROR_SUCCESS : status;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // the longest key name, 255 characters, and its terminator
    DWORD length = static_cast<DWORD>(std::size(name));
    status = ::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) {
      registered = true;  // cannot tell: keep the version
      return status;
    }
    if (_wcsicmp(name, L"FLAGS") != 0 && _wcsicmp(name, L"HELPDIR") != 0) {
      registered = true;
      return ERROR_SUCCESS;
    }
  }
}

}  // namespace

std::vector<RegistrationEntry> RegistrationEntries(const std::wstring& module_path, bool win64) {
  const std::wstring libid = GuidText(guids::LIBID_VornRegAccLib);
  std::vector<RegistrationEntry> entries;

  for (const ClassRecord& record : ModuleClasses()) {
    if (!record.create) continue;
    const std::wstring clsid = L"CLSID\\" + GuidText(*record.clsid);
    const std::wstring prog_id = ProgIdOf(record);
    entries.push_back({clsid, L"", prog_id});
    entries.push_back({clsid + L"\\InprocServer32", L"", module_path});
    entries.push_back({clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"});
    entries.push_back({clsid + L"\\ProgID", L"", prog_id});
    entries.push_back({clsid + L"\\TypeLib", L"", libid});
    entries.push_back({clsid + L"\\Version", L"", kLibraryVersion});
    entries.push_back({prog_id, L"", prog_id});
    entries.push_back({prog_id + L"\\CLSID", L"", GuidText(*record.clsid)});
  }

  // Locale 0 only: the type-library marshaller looks the library up there.
  const std::wstring library = L"TypeLib\\" + libid + L"\\" + kLibraryVersion;
  entries.push_back({library, L"", kLibraryDescription});
  // The platform subkey names the module's pointer size.
  entries.push_back({library + L"\\0\\" + PlatformKey(win64), L"", module_path});
  entries.push_back({library + L"\\FLAGS", L"", L"0"});
  entries.push_back({library + L"\\HELPDIR", L"", L""});

  for (const ClassRecord& record : ModuleClasses()) {
    const std::wstring iface = L"Interface\\" + GuidText(*record.default_iid);
    entries.push_back({iface, L"", record.interface_name});
    entries.push_back({iface + L"\\ProxyStubClsid", L"", kAutomationMarshaller});
    entries.push_back({iface + L"\\ProxyStubClsid32", L"", kAutomationMarshaller});
    entries.push_back({iface + L"\\TypeLib", L"", libid});
    entries.push_back({iface + L"\\TypeLib", L"Version", kLibraryVersion});
  }
  return entries;
}

HRESULT RegisterServer(HKEY classes_root, const std::wstring& module_path) noexcept {
  JournalledWriter writer(classes_root);
  try {
    LSTATUS status = WriteEntries(writer, module_path);
    if (status == ERROR_SUCCESS) return S_OK;
    writer.Undo();
    return HRESULT_FROM_WIN32(status);
  } catch (const std::bad_alloc&) {
    writer.Undo();
    return E_OUTOFMEMORY;
  } catch (...) {
    writer.Undo();
    return E_UNEXPECTED;
  }
}

HRESULT UnregisterServer(HKEY classes_root) noexcept {
  try {
    LSTATUS first_failure = ERROR_SUCCESS;
    auto note = [&](LSTATUS status) {
      if (status != ERROR_SUCCESS && !IsGone(status) && first_failure == ERROR_SUCCESS) first_failure = status;
    };
    auto remove_tree = [&](const std::wstring& path) { note(::RegDeleteTreeW(classes_root, path.c_str())); };

    // CLSID and Interface keys are per registry view: this module's own go.
    // ProgIDs and the TypeLib key are one copy seen by both views, so what the
    // module of the other pointer size still needs stays.
    for (const ClassRecord& record : ModuleClasses()) {
      if (!record.create) continue;
      remove_tree(L"CLSID\\" + GuidText(*record.clsid));
      bool other_view = false;
      note(OtherViewHasClass(classes_root, *record.clsid, other_view));
      if (!other_view) remove_tree(ProgIdOf(record));
    }
    // Only this platform of this version of the library; the locale, version
    // and library keys go with it once nothing else is registered under them.
    const std::wstring library = L"TypeLib\\" + GuidText(guids::LIBID_VornRegAccLib);
    const std::wstring version = library + L"\\" + kLibraryVersion;
    remove_tree(version + L"\\0\\" + PlatformKey(kWin64));
    note(DeleteIfEmpty(classes_root, version + L"\\0"));
    bool registered = false;
    note(HoldsLocale(classes_root, version, registered));
    if (!registered) remove_tree(version);
    note(DeleteIfEmpty(classes_root, library));
    for (const ClassRecord& record : ModuleClasses()) remove_tree(L"Interface\\" + GuidText(*record.default_iid));

    return first_failure == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(first_failure);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

bool ScopeFromCommandLine(const wchar_t* command_line, Scope& scope) noexcept {
  if (!command_line || !*command_line || !_wcsicmp(command_line, L"machine")) {
    scope = Scope::kMachine;
    return true;
  }
  if (!_wcsicmp(command_line, L"user")) {
    scope = Scope::kUser;
    return true;
  }
  return false;
}

HRESULT RegisterServer(Scope scope, const std::wstring& module_path) noexcept {
  if (scope == Scope::kMachine) return RegisterServer(HKEY_CLASSES_ROOT, module_path);
  unique_hkey root;
  LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE, nullptr, root.put(), nullptr);
  return status == ERROR_SUCCESS ? RegisterServer(root.get(), module_path) : HRESULT_FROM_WIN32(status);
}

HRESULT UnregisterServer(Scope scope) noexcept {
  if (scope == Scope::kMachine) return UnregisterServer(HKEY_CLASSES_ROOT);
  unique_hkey root;
  LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, KEY_READ | KEY_WRITE, root.put());
  if (IsGone(status)) return S_OK;  // no classes of the user's: nothing is registered there
  return status == ERROR_SUCCESS ? UnregisterServer(root.get()) : HRESULT_FROM_WIN32(status);
}

}  // namespace vorn::server
