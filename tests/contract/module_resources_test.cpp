// Resources of the built module: the embedded type library, the records of
// each class's default interface, and the version block. Needs the module
// itself; given only a .tlb, these tests are skipped.

#include <gtest/gtest.h>

#include <vector>

#include "contract_support.h"
#include "surface/guids.h"

namespace contract {
namespace {

using namespace vorn::guids;

class ModuleResources : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!targetIsModule()) GTEST_SKIP() << "not given the module, only a type library";
    module_ = LoadLibraryExW(targetPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module_) << "cannot load the module as data, error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // Languages under which a resource exists.
  std::vector<WORD> languages(LPCWSTR type, LPCWSTR name) const {
    std::vector<WORD> langs;
    EnumResourceLanguagesW(module_, type, name, collectLanguage, reinterpret_cast<LONG_PTR>(&langs));
    return langs;
  }
  static BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR out) {
    reinterpret_cast<std::vector<WORD>*>(out)->push_back(lang);
    return TRUE;
  }

  std::vector<BYTE> data(LPCWSTR type, LPCWSTR name) const {
    HRSRC res = FindResourceExW(module_, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!res) return {};
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(module_, res)));
    return p ? std::vector<BYTE>(p, p + SizeofResource(module_, res)) : std::vector<BYTE>{};
  }

  HMODULE module_ = nullptr;
};

const std::vector<WORD> kNeutralOnly{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)};

TEST_F(ModuleResources, AllResourcesAreLanguageNeutral) {
  EXPECT_EQ(languages(L"TYPELIB", MAKEINTRESOURCEW(1)), kNeutralOnly);
  EXPECT_EQ(languages(RT_VERSION, MAKEINTRESOURCEW(1)), kNeutralOnly);
  for (const wchar_t* type : {L"_IID_CLSKEY", L"_IID_CLSKEYS", L"_IID_CLSVALUE", L"_IID_CLSVALUES"})
    EXPECT_EQ(languages(type, MAKEINTRESOURCEW(1)), kNeutralOnly) << testing::PrintToString(std::wstring(type));
}

TEST_F(ModuleResources, DefaultInterfaceRecordsHoldSizeAndIid) {
  static const struct {
    const wchar_t* type;
    GUID iid;
  } kRecords[] = {
      {L"_IID_CLSKEY", IID__clsKey},
      {L"_IID_CLSKEYS", IID__clsKeys},
      {L"_IID_CLSVALUE", IID_clsValue},
      {L"_IID_CLSVALUES", IID__clsValues},
  };
  for (const auto& r : kRecords) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(r.type)));
    std::vector<BYTE> bytes = data(r.type, MAKEINTRESOURCEW(1));
    ASSERT_EQ(bytes.size(), 20u);
    std::vector<BYTE> want{16, 0, 0, 0};
    const BYTE* iid = reinterpret_cast<const BYTE*>(&r.iid);
    want.insert(want.end(), iid, iid + sizeof(GUID));
    EXPECT_EQ(bytes, want);
  }
}

TEST_F(ModuleResources, VersionBlock) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(targetPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(targetPath().c_str(), 0, size, block.data()));

  auto query = [&](const std::wstring& path, UINT* len) -> void* {
    void* p = nullptr;
    *len = 0;
    return VerQueryValueW(block.data(), path.c_str(), &p, len) ? p : nullptr;
  };

  UINT len = 0;
  auto* fixed = static_cast<VS_FIXEDFILEINFO*>(query(L"\\", &len));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  auto* translation = static_cast<WORD*>(query(L"\\VarFileInfo\\Translation", &len));
  ASSERT_TRUE(translation);
  ASSERT_EQ(len, 2 * sizeof(WORD)) << "exactly one translation";
  EXPECT_EQ(translation[0], 0x040A);
  EXPECT_EQ(translation[1], 1200);

  static const struct {
    const wchar_t* key;
    const wchar_t* value;
  } kStrings[] = {
      {L"FileVersion", L"1.00"},
      {L"ProductVersion", L"1.00"},
      {L"FileDescription", L"Vorn Registry Access Library"},
      {L"ProductName", L"Vorn Registry Access Library"},
      {L"InternalName", L"VornRegistry"},
      {L"OriginalFilename", L"VornRegistry.dll"},
      {L"OLESelfRegister", L""},  // present, empty: marks the module self-registering
  };
  for (const auto& s : kStrings) {
    const wchar_t* text = static_cast<const wchar_t*>(
        query(std::wstring(L"\\StringFileInfo\\040A04B0\\") + s.key, &len));
    ASSERT_TRUE(text) << testing::PrintToString(std::wstring(s.key)) << " missing";
    EXPECT_EQ(std::wstring(text, wcsnlen(text, len)), s.value)
        << testing::PrintToString(std::wstring(s.key));
  }
}

}  // namespace
}  // namespace contract
