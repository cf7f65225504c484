// assembly_manifest: writes the module's side-by-side assembly manifest, which
// the module carries as its RT_MANIFEST resource 1 so that an application can
// name it as a private assembly and use the classes without registration.
// It is read off the very list of entries that DllRegisterServer writes (and
// the installer packages' rows are made from), so the three cannot disagree:
//
//   CLSID\{clsid}                          -> comClass (progid, threadingModel, tlbid)
//   TypeLib\{libid}\<version>, HELPDIR     -> typelib
//   Interface\{iid}, ProxyStubClsid32      -> comInterfaceExternalProxyStub
//
// Usage: assembly_manifest <output file> <module file name> <version a.b.c.d> <x86|amd64>

#include <windows.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "packaging/generated_text.h"
#include "server/registration.h"

namespace {

using vorn::server::RegistrationEntry;

// The entries as keys with their values, in the order the keys first appear.
class Keys {
 public:
  explicit Keys(const std::vector<RegistrationEntry>& entries) {
    for (const RegistrationEntry& entry : entries) {
      auto [at, added] = index_.emplace(Upper(entry.path), paths_.size());
      if (added) paths_.push_back({entry.path, {}});
      paths_[at->second].second[Upper(entry.name)] = entry.text;
    }
  }

  // The paths of the form <first>\<one more component>.
  std::vector<std::wstring> Below(const std::wstring& first, std::size_t depth) const {
    std::vector<std::wstring> found;
    const std::wstring prefix = Upper(first) + L"\\";
    for (const auto& [path, values] : paths_) {
      const std::wstring upper = Upper(path);
      if (upper.compare(0, prefix.size(), prefix) != 0) continue;
      std::size_t parts = 1;
      for (wchar_t c : upper) parts += c == L'\\';
      if (parts == depth) found.push_back(path);
    }
    return found;
  }

  // Value `name` (empty: the default value) of key `path`; missing is an error.
  const std::wstring& Value(const std::wstring& path, const std::wstring& name = L"") const {
    auto key = index_.find(Upper(path));
    if (key != index_.end()) {
      const auto& values = paths_[key->second].second;
      if (auto value = values.find(Upper(name)); value != values.end()) return value->second;
    }
    throw std::runtime_error("the registration entries lack " + Narrow(path + L"\\" + name));
  }

  static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

 private:
  // Registry names compare without regard to case.
  static std::wstring Upper(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
  }

  std::vector<std::pair<std::wstring, std::map<std::wstring, std::wstring>>> paths_;
  std::map<std::wstring, std::size_t> index_;
};

std::wstring LastPart(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

// An XML attribute: name="escaped value".
std::wstring Attribute(const wchar_t* name, const std::wstring& value) {
  return std::wstring(L" ") + name + L"=\"" + vorn::packaging::XmlEscaped(value) + L"\"";
}

std::wstring Manifest(const Keys& keys, const std::wstring& file, const std::wstring& version,
                      const std::wstring& architecture) {
  const std::vector<std::wstring> libraries = keys.Below(L"TypeLib", 3);
  if (libraries.size() != 1) throw std::runtime_error("the registration entries must hold one type library");
  const std::wstring& library = libraries.front();
  const std::wstring tlbid = LastPart(library.substr(0, library.rfind(L'\\')));  // TypeLib\{libid}\<version>
  // The library's flags as registered; the module registers none, and the
  // manifest spells flags as words, so anything else is refused here.
  if (keys.Value(library + L"\\FLAGS") != L"0") throw std::runtime_error("type library flags are not written");

  std::wstring text =
      L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      L"<!-- Written by assembly_manifest from the module's registration entries. Do not edit. -->\n"
      L"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
      L"  <assemblyIdentity type=\"win32\"" +
      Attribute(L"name", L"VornRegistry") + Attribute(L"version", version) +
      Attribute(L"processorArchitecture", architecture) + L" />\n  <file" + Attribute(L"name", file) + L">\n";
  text += L"    <typelib" + Attribute(L"tlbid", tlbid) + Attribute(L"version", LastPart(library)) +
          Attribute(L"helpdir", keys.Value(library + L"\\HELPDIR")) + L" />\n";
  for (const std::wstring& clsid : keys.Below(L"CLSID", 2)) {
    if (keys.Value(clsid + L"\\InprocServer32") != file) throw std::runtime_error("a class served by another file");
    text += L"    <comClass" + Attribute(L"clsid", LastPart(clsid)) +
            Attribute(L"progid", keys.Value(clsid + L"\\ProgID")) +
            Attribute(L"threadingModel", keys.Value(clsid + L"\\InprocServer32", L"ThreadingModel")) +
            Attribute(L"tlbid", keys.Value(clsid + L"\\TypeLib")) +
            Attribute(L"description", keys.Value(clsid)) + L" />\n";
  }
  text += L"  </file>\n";
  for (const std::wstring& iface : keys.Below(L"Interface", 2)) {
    text += L"  <comInterfaceExternalProxyStub" + Attribute(L"name", keys.Value(iface)) +
            Attribute(L"iid", LastPart(iface)) +
            Attribute(L"proxyStubClsid32", keys.Value(iface + L"\\ProxyStubClsid32")) +
            Attribute(L"tlbid", keys.Value(iface + L"\\TypeLib")) + L" />\n";
  }
  return text + L"</assembly>\n";
}

std::wstring Wide(const char* text) {
  int size = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1) ::MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), size);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: assembly_manifest <output file> <module file name> <version> <x86|amd64>\n");
    return 2;
  }
  try {
    const std::wstring file = Wide(argv[2]), architecture = Wide(argv[4]);
    if (architecture != L"x86" && architecture != L"amd64") throw std::runtime_error("unknown architecture");
    // The module's entries as the module itself would write them from beside
    // the application: the file name stands for the path.
    const Keys keys(vorn::server::RegistrationEntries(file, architecture == L"amd64"));
    vorn::packaging::WriteWholeFile(argv[1], vorn::packaging::Utf8(Manifest(keys, file, Wide(argv[3]), architecture)));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "assembly_manifest: %s\n", error.what());
    return 1;
  }
  return 0;
}
