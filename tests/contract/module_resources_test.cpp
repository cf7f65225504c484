// Resources of the built module: the embedded type library, the records of
// each class's default interface, the version block and the assembly manifest.
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "contract/guids.h"
#include "tests/module_path.h"

namespace contract {
namespace {

using namespace vorn::guids;

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  return reinterpret_cast<std::vector<WORD>*>(out)->push_back(language), TRUE;
}

// Every resource exists once, language neutral; each _IID_ record is a 32-bit
// 16 followed by the identifier of the class's default interface.
TEST(ModuleResources, LanguageNeutralTypeLibraryVersionAndInterfaceRecords) {
  const HMODULE module = ::LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module) << "cannot load the module as data, error " << ::GetLastError();
  const std::pair<const wchar_t*, const GUID*> resources[] = {
      {L"TYPELIB", nullptr},          {RT_VERSION, nullptr},          {L"_IID_CLSKEY", &IID__clsKey},
      {L"_IID_CLSKEYS", &IID__clsKeys}, {L"_IID_CLSVALUE", &IID_clsValue}, {L"_IID_CLSVALUES", &IID__clsValues}};
  for (const auto& [type, iid] : resources) {
    SCOPED_TRACE(IS_INTRESOURCE(type) ? "RT_VERSION" : testing::PrintToString(type));
    std::vector<WORD> languages;
    ::EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(1), CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
    if (!iid) continue;
    const HRSRC found = ::FindResourceExW(module, type, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    const BYTE* data = found ? static_cast<const BYTE*>(::LockResource(::LoadResource(module, found))) : nullptr;
    ASSERT_TRUE(data);
    std::vector<BYTE> want{16, 0, 0, 0};
    want.insert(want.end(), reinterpret_cast<const BYTE*>(iid), reinterpret_cast<const BYTE*>(iid + 1));
    EXPECT_EQ(std::vector<BYTE>(data, data + ::SizeofResource(module, found)), want);
  }
  ::FreeLibrary(module);
}

TEST(ModuleResources, VersionBlock) {
  DWORD ignored = 0, size = ::GetFileVersionInfoSizeW(ModulePath().c_str(), &ignored);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(size && ::GetFileVersionInfoW(ModulePath().c_str(), 0, size, block.data()));
  UINT length = 0;
  auto query = [&](const std::wstring& path) {
    void* p = nullptr;
    return ::VerQueryValueW(block.data(), path.c_str(), &p, &length) ? p : nullptr;
  };

  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
  ASSERT_TRUE(translation);
  ASSERT_EQ(length, 2 * sizeof(WORD)) << "exactly one translation";
  EXPECT_EQ(translation[0], 0x040A);
  EXPECT_EQ(translation[1], 1200);

  const std::pair<const wchar_t*, std::wstring> strings[] = {
      {L"FileVersion", L"1.00"},
      {L"ProductVersion", L"1.00"},
      {L"FileDescription", L"Vorn Registry Access Library"},
      {L"ProductName", L"Vorn Registry Access Library"},
      {L"InternalName", L"VornRegistry"},
      {L"OriginalFilename", L"VornRegistry.dll"},
      {L"OLESelfRegister", L""},  // present, empty: marks the module self-registering
  };
  for (const auto& [key, value] : strings) {
    const auto* text = static_cast<const wchar_t*>(query(std::wstring(L"\\StringFileInfo\\040A04B0\\") + key));
    EXPECT_EQ(text ? std::wstring(text, wcsnlen(text, length)) : L"<missing>", value) << testing::PrintToString(key);
  }
}

// The side-by-side assembly manifest, resource 1: the identity an
// application's dependency must match exactly (Wine checks only the version;
// Windows also the name and the architecture), and a proxy-stub entry for
// each class's default interface, so that every object crosses apartments.
TEST(ModuleResources, AssemblyManifest) {
  const HMODULE module = ::LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module) << "cannot load the module as data, error " << ::GetLastError();
  std::vector<WORD> languages;
  ::EnumResourceLanguagesW(module, RT_MANIFEST, MAKEINTRESOURCEW(1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)});
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  const char* data = found ? static_cast<const char*>(::LockResource(::LoadResource(module, found))) : nullptr;
  ASSERT_TRUE(data);
  const std::string manifest(data, ::SizeofResource(module, found));
  ::FreeLibrary(module);

  const std::string identity = std::string("<assemblyIdentity type=\"win32\" name=\"VornRegistry\" version=\"1.0.0.0\" "
                                           "processorArchitecture=\"") + (sizeof(void*) == 8 ? "amd64" : "x86") + "\"";
  EXPECT_NE(manifest.find(identity), std::string::npos) << manifest;
  for (const GUID* iid : {&IID__clsKey, &IID__clsKeys, &IID_clsValue, &IID__clsValues}) {
    wchar_t text[40];
    ::StringFromGUID2(*iid, text, 40);
    const std::string entry = "iid=\"" + std::string(text, text + 38) +
                              "\" proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"";
    EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
  }
}

}  // namespace
}  // namespace contract
