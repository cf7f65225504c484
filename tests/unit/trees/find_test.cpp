// The pattern match on its own, and clsKey.Find through IDispatch against
// an independent reference (raw advapi32 calls and a naive matcher) over
// random trees with every option, keys that cannot be read, and a tree as
// deep as the registry allows.
#include <windows.h>
#include <sddl.h>

#include <random>
#include <tuple>

#include "keys/key.h"
#include "trees/pattern.h"
#include "harness/registry_test.h"

namespace vorn {
namespace {

using namespace test;
using trees::Pattern;

// ---- the match ---------------------------------------------------------------

TEST(Pattern, WildcardsCaseAndTheWholeText) {
  const std::wstring clef = L"\U0001D11E", deseret_upper = L"\U00010400", deseret_lower = L"\U00010428";
  std::tuple<std::wstring, std::wstring, bool, bool, bool> cases[] = {
      // pattern, text, whole, exact case, matches
      {L"vorn", L"VornRegistryDemo", false, false, true},    {L"vorn", L"VornRegistryDemo", false, true, false},
      {L"vorn", L"VornRegistryDemo", true, false, false},    {L"vorn*", L"VornRegistryDemo", true, false, true},
      {L"V?rn*o", L"VornRegistryDemo", true, true, true},    {L"*DEMO", L"VornRegistryDemo", true, false, true},
      {L"a?c", L"abc", true, true, true},                    {L"a?c", L"ac", true, true, false},
      {L"a*c", L"ac", true, true, true},                     {L"*", L"", true, true, true},
      {L"?", L"", true, true, false},                        {L"a*b", L"a*b", true, true, true},
      {L"\u00e9", L"CAF\u00c9", false, false, true},          {L"\u0101", L"\u0100", true, false, true},
      {L"\u00e9", L"\u00c9", true, true, false},              {L"a?b", L"a" + clef + L"b", true, true, true},
      {L"a??b", L"a" + clef + L"b", true, true, false},       {clef, L"x" + clef + L"y", false, true, true},
      {L"*?", clef, true, true, true}};
  for (auto& [pattern, text, whole, exact, expected] : cases)
    EXPECT_EQ(expected, Pattern(pattern, whole, exact).Matches(text)) << Narrow(pattern) << " / " << Narrow(text);
  // Beyond the BMP, letter case counts exactly when the platform says so.
  bool same = ::CompareStringOrdinal(deseret_upper.data(), 2, deseret_lower.data(), 2, TRUE) == CSTR_EQUAL;
  EXPECT_EQ(same, Pattern(deseret_upper, true, false).Matches(deseret_lower));
  // Many stars take (pattern x text) steps at most, never exponential time.
  EXPECT_FALSE(Pattern(L"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", true, false)
                   .Matches(std::wstring(20000, L'a')));
}

TEST(Pattern, IgnoresCaseAsThePlatformDoesForEveryCharacterOfTheBmp) {
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    wchar_t unit = static_cast<wchar_t>(c), lower = unit, upper = unit;
    ::CharLowerBuffW(&lower, 1);
    ::CharUpperBuffW(&upper, 1);
    for (wchar_t other : {lower, upper}) {
      bool same = ::CompareStringOrdinal(&unit, 1, &other, 1, TRUE) == CSTR_EQUAL;
      ASSERT_EQ(same, Pattern(std::wstring(1, unit), true, false).Matches(&other, 1)) << std::hex << c;
    }
  }
}

// ---- Find against a reference ------------------------------------------------

using Hit = std::tuple<std::wstring, std::wstring, bool, std::wstring, LONG>;  // path, name, name is Null, kind, type

// The reference: a naive match, character by character (a surrogate pair is
// one), with the platform's ordinal comparison for case.
std::vector<std::wstring> Characters(const std::wstring& s) {
  std::vector<std::wstring> out;
  for (size_t i = 0; i < s.size(); ++i) {
    bool pair = i + 1 < s.size() && s[i] >= 0xD800 && s[i] <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
    out.push_back(s.substr(i, pair ? 2 : 1));
    i += pair;
  }
  return out;
}
bool Naive(const std::vector<std::wstring>& p, size_t i, const std::vector<std::wstring>& t, size_t j, bool exact) {
  if (i == p.size()) return j == t.size();
  if (p[i] == L"*") return Naive(p, i + 1, t, j, exact) || (j < t.size() && Naive(p, i, t, j + 1, exact));
  if (j == t.size()) return false;
  bool same = p[i] == L"?" || (exact ? p[i] == t[j]
                                     : ::CompareStringOrdinal(p[i].data(), static_cast<int>(p[i].size()), t[j].data(),
                                                              static_cast<int>(t[j].size()), TRUE) == CSTR_EQUAL);
  return same && Naive(p, i + 1, t, j + 1, exact);
}
bool NaiveMatch(const std::wstring& pattern, const std::wstring& text, const std::wstring& options) {
  bool whole = options.find(L'E') != std::wstring::npos, exact = options.find(L'C') != std::wstring::npos;
  return Naive(Characters(whole ? pattern : L"*" + pattern + L"*"), 0, Characters(text), 0, exact);
}

struct RefValue {
  std::wstring name;
  DWORD type;
  std::vector<std::wstring> texts;  // what Find searches as its data
};
struct RefKey {
  std::wstring path, name;
  std::vector<RefValue> values;
};

// Every key below HKCU\path, parent first, with advapi32 directly.
void ReadReference(HKEY key, const std::wstring& path, const std::wstring& name, std::vector<RefKey>& out) {
  RefKey& me = out.emplace_back(RefKey{path, name, {}});
  wchar_t value_name[16384];
  BYTE data[8192];
  for (DWORD i = 0;; ++i) {
    DWORD n = 16384, size = sizeof data, type = 0;
    if (::RegEnumValueW(key, i, value_name, &n, nullptr, &type, data, &size)) break;
    std::wstring units(reinterpret_cast<const wchar_t*>(data), size / 2);
    RefValue v{std::wstring(value_name, n), type, {}};
    if ((type == REG_SZ || type == REG_EXPAND_SZ)) {
      if (!units.empty() && units.back() == L'\0') units.pop_back();
      v.texts.push_back(units);
    } else if (type == REG_MULTI_SZ) {
      // The strings as GetValue gives them: the list's terminator and the
      // last string's dropped, the rest split at each zero.
      if (units.size() >= 2 && units.substr(units.size() - 2) == std::wstring(2, L'\0')) units.resize(units.size() - 2);
      else if (!units.empty() && units.back() == L'\0') units.pop_back();
      for (size_t start = 0; !units.empty() && start <= units.size();) {
        size_t end = units.find(L'\0', start);
        if (end == std::wstring::npos) end = units.size();
        v.texts.push_back(units.substr(start, end - start));
        start = end + 1;
      }
    }
    me.values.push_back(v);
  }
  wchar_t child[256];
  for (DWORD i = 0, n = 256; !::RegEnumKeyExW(key, i, child, &n, nullptr, nullptr, nullptr, nullptr); ++i, n = 256) {
    HKEY sub = nullptr;
    ::RegOpenKeyExW(key, child, 0, KEY_READ, &sub);
    ReadReference(sub, path + L"\\" + std::wstring(child, n), std::wstring(child, n), out);
    ::RegCloseKey(sub);
  }
}

std::vector<Hit> ReferenceHits(const std::vector<RefKey>& tree, const std::wstring& pattern, std::wstring options) {
  bool any = options.find_first_of(L"KVD") != std::wstring::npos;
  auto on = [&](wchar_t letter) { return !any || options.find(letter) != std::wstring::npos; };
  std::vector<Hit> hits;
  for (size_t k = 0; k < tree.size(); ++k) {
    if (k > 0 && on(L'K') && NaiveMatch(pattern, tree[k].name, options)) hits.emplace_back(tree[k].path, L"", true, L"key", 0);
    for (const RefValue& v : tree[k].values) {
      bool data = on(L'D') && std::any_of(v.texts.begin(), v.texts.end(),
                                          [&](const std::wstring& t) { return NaiveMatch(pattern, t, options); });
      if (on(L'V') && NaiveMatch(pattern, v.name, options)) hits.emplace_back(tree[k].path, v.name, false, L"name", v.type);
      else if (data) hits.emplace_back(tree[k].path, v.name, false, L"data", v.type);
    }
  }
  return hits;
}

class FindTest : public RegistryTest {
 protected:
  // Find through IDispatch, as a script calls it; its hits, or nothing
  // after checking the error.
  std::vector<Hit> Find(Key* key, const std::wstring& pattern, const std::wstring& options,
                        HRESULT expected = S_OK) {
    unique_variant result;
    std::vector<VARIANT> args{VStr(pattern).release()};
    if (!options.empty()) args.push_back(VStr(options).release());
    EXPECT_EQ(expected, Invoke(key->Published(), L"Find", DISPATCH_METHOD, args, &result.ref()));
    for (VARIANT& a : args) ::VariantClear(&a);
    std::vector<Hit> hits;
    if (expected != S_OK) return hits;
    for (const VARIANT& hit : Elements(result.ref())) {
      std::vector<VARIANT> f = Elements(hit);
      hits.emplace_back(W(V_BSTR(&f[0])), V_VT(&f[1]) == VT_NULL ? L"" : W(V_BSTR(&f[1])), V_VT(&f[1]) == VT_NULL,
                        W(V_BSTR(&f[2])), V_I4(&f[3]));
    }
    return hits;
  }
  static std::vector<std::wstring> Skipped(Key* key) {
    unique_variant result;
    EXPECT_EQ(S_OK, Invoke(key->Published(), L"FindSkipped", DISPATCH_PROPERTYGET, {}, &result.ref()));
    std::vector<std::wstring> paths;
    for (const VARIANT& p : Elements(result.ref())) paths.push_back(W(V_BSTR(&p)));
    return paths;
  }
  // The elements of a one-dimensional array of VARIANTs, lower bound 0.
  static std::vector<VARIANT> Elements(const VARIANT& array) {
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, V_VT(&array));
    if (V_VT(&array) != (VT_ARRAY | VT_VARIANT)) return {};
    LONG low = 1, high = 0;
    ::SafeArrayGetLBound(V_ARRAY(&array), 1, &low);
    ::SafeArrayGetUBound(V_ARRAY(&array), 1, &high);
    EXPECT_EQ(0, low);
    return {static_cast<VARIANT*>(V_ARRAY(&array)->pvData), static_cast<VARIANT*>(V_ARRAY(&array)->pvData) + high + 1};
  }
  void Set(const std::wstring& sub, const std::wstring& name, DWORD type, const std::wstring& units, bool odd = false) {
    scratch_.SetRaw(sub, name, type, units.data(), static_cast<DWORD>(units.size() * 2 + odd));
  }
};

TEST_F(FindTest, FindsExactlyWhatAReferenceWalkFindsWithEveryOption) {
  // Names and data from characters that test the match: wildcards, letters
  // beyond ASCII in both cases, a surrogate pair, spaces.
  const std::wstring pieces[] = {L"a", L"B", L"\u00e9", L"\u00c9", L"*", L"?", L" ", L"\U0001D11E", L"\u0101",
                                 L"\u0100", L"ab", L"xy", L"\U00010400", L"\U00010428"};
  const wchar_t* patterns[] = {L"a", L"\u00c9", L"a*b", L"?\u00e9", L"\U0001D11E", L"*", L"b?", L"x*y?", L"?", L"A\u0100", L"\U00010428"};
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 random(seed);
    auto text = [&](size_t most) {
      std::wstring s;
      for (size_t n = 1 + random() % most; n > 0; --n) s += pieces[random() % std::size(pieces)];
      return s;
    };
    const std::wstring base = L"seed " + std::to_wstring(seed);
    std::vector<std::wstring> keys{base};
    for (int k = 0; k < 30; ++k) {
      keys.push_back(keys[random() % keys.size()] + L"\\" + text(3));
      scratch_.CreateKey(keys.back());
    }
    for (int v = 0; v < 80; ++v) {
      std::wstring key = keys[random() % keys.size()], name = random() % 8 ? text(3) : L"";
      switch (random() % 6) {
        case 0: Set(key, name, REG_SZ, text(4) + L'\0'); break;
        case 1: Set(key, name, REG_SZ, text(4), random() % 2); break;  // no terminator, maybe an odd byte
        case 2: Set(key, name, REG_EXPAND_SZ, L"%" + text(3) + L"%" + L'\0'); break;
        case 3: Set(key, name, REG_MULTI_SZ, text(3) + L'\0' + text(3) + std::wstring(random() % 3, L'\0')); break;
        case 4: Set(key, name, REG_BINARY, text(3)); break;  // never searched as data
        default: Set(key, name, REG_DWORD, L"ab"); break;
      }
    }
    std::vector<RefKey> reference;
    {
      HKEY top = nullptr;
      ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.Below(base).c_str(), 0, KEY_READ, &top));
      ReadReference(top, scratch_.Below(base), L"", reference);
      ::RegCloseKey(top);
    }
    auto key = Aimed<Key>(scratch_.Below(base));
    for (const wchar_t* pattern : patterns) {
      for (int mask = 0; mask < 32; ++mask) {
        std::wstring options;
        for (int bit = 0; bit < 5; ++bit)
          if (mask >> bit & 1) options += L"KVDCE"[bit];
        std::wstring letters = options;  // in either case
        if (seed == 2) ::CharLowerBuffW(letters.data(), static_cast<DWORD>(letters.size()));
        ASSERT_EQ(ReferenceHits(reference, pattern, options), Find(key.get(), pattern, letters))
            << "seed " << seed << ", pattern " << Narrow(pattern) << ", options " << Narrow(options);
      }
    }
    EXPECT_TRUE(Skipped(key.get()).empty());
  }
}

TEST_F(FindTest, ReadsEachKeyOnceByItsCountsWithOneHandlePerLevel) {
  Set(L"a\\b\\c", L"name", REG_SZ, std::wstring(3000, L'x') + L"needle" + L'\0');  // longer than the first buffer
  Set(L"a", L"", REG_MULTI_SZ, std::wstring(L"one\0needle\0\0", 12));
  Set(L"a\\b", L"other", REG_DWORD, L"ab");
  auto key = Aimed<Key>(scratch_.Path());
  size_t most_open = 0;
  Rec().Reset();
  Rec().fault = [&](const Call&) -> std::optional<LONG> {
    most_open = std::max(most_open, static_cast<size_t>(Rec().open_handles));
    return std::nullopt;
  };
  std::vector<Hit> hits = Find(key.get(), L"NEEDLE", L"");
  EXPECT_EQ((std::vector<Hit>{{scratch_.Below(L"a"), L"", false, L"data", REG_MULTI_SZ},
                              {scratch_.Below(L"a\\b\\c"), L"name", false, L"data", REG_SZ}}),
            hits);
  EXPECT_EQ(4u, CallsOf(Fn::QueryInfoKey));  // the scratch key, a, b, c
  EXPECT_EQ(0u, CallsOf(Fn::QueryValueEx));
  for (const Call& c : Rec().calls) EXPECT_NE(ERROR_NO_MORE_ITEMS, c.status) << static_cast<int>(c.fn);
  EXPECT_LE(most_open, 4u);  // the key itself and one per level below
}

TEST_F(FindTest, KeysThatCannotBeReadAreListedAndTheRestIsSearched) {
  for (const wchar_t* sub : {L"open denied\\below", L"list denied", L"dacl denied\\below", L"z after"})
    Set(sub, L"found", REG_SZ, std::wstring(L"x\0", 2));
  auto key = Aimed<Key>(scratch_.Path());
  // Denied by the recording binding: an open, and the first read after
  // another open.
  auto armed = std::make_shared<bool>(false);
  Rec().fault = [armed](const Call& c) -> std::optional<LONG> {
    if (c.fn == Fn::OpenKeyEx && c.name == L"open denied") return ERROR_ACCESS_DENIED;
    if (c.fn == Fn::OpenKeyEx && c.name == L"list denied") *armed = true;
    else if (c.fn == Fn::EnumValue && *armed) return *armed = false, ERROR_ACCESS_DENIED;
    return std::nullopt;
  };
  // And by the key's own security: Everyone may neither list nor read it.
  HKEY denied = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.Below(L"dacl denied").c_str(), 0,
                                          READ_CONTROL | WRITE_DAC, &denied));
  std::vector<BYTE> before(4096);
  DWORD size = static_cast<DWORD>(before.size());
  ASSERT_EQ(ERROR_SUCCESS, ::RegGetKeySecurity(denied, DACL_SECURITY_INFORMATION, before.data(), &size));
  PSECURITY_DESCRIPTOR deny = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x9;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                     &deny, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(denied, DACL_SECURITY_INFORMATION, deny));
  ::LocalFree(deny);

  std::vector<Hit> hits = Find(key.get(), L"found", L"V");
  ::RegSetKeySecurity(denied, DACL_SECURITY_INFORMATION, before.data());  // the owner may always
  ::RegCloseKey(denied);
  EXPECT_EQ((std::vector<std::wstring>{scratch_.Below(L"dacl denied"), scratch_.Below(L"list denied"),
                                       scratch_.Below(L"open denied")}),
            Skipped(key.get()));
  EXPECT_EQ((std::vector<Hit>{{scratch_.Below(L"z after"), L"found", false, L"name", REG_SZ}}), hits);
}

TEST_F(FindTest, SearchesATreeAsDeepAsTheRegistryAllows) {
  // The scratch key is the third level; the deepest key here is the 512th.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.Path().c_str(), 0, KEY_ALL_ACCESS, &key));
  int levels = 0;
  for (; levels < 509; ++levels) {
    HKEY child = nullptr;
    if (::RegCreateKeyW(key, L"deep", &child)) break;
    ::RegCloseKey(key);
    key = child;
  }
  ::RegSetValueExW(key, L"bottom", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"deep"), 10);
  ::RegCloseKey(key);
  ASSERT_EQ(509, levels);
  auto object = Aimed<Key>(scratch_.Path());
  std::vector<Hit> hits = Find(object.get(), L"DEEP", L"");
  ASSERT_EQ(510u, hits.size());
  EXPECT_EQ(L"data", std::get<3>(hits.back()));
  EXPECT_EQ(L"bottom", std::get<1>(hits.back()));
  EXPECT_EQ(scratch_.Path().size() + 509 * 5, std::get<0>(hits.back()).size());
  // The same tree copied and exported whole.
  EXPECT_EQ(S_OK, Invoke(object->Published(), L"CopyTree", DISPATCH_METHOD, {VStr(scratch_.Path() + L".copy").ref()}));
  auto copy = Aimed<Key>(scratch_.Path() + L".copy");
  EXPECT_EQ(510u, Find(copy.get(), L"deep", L"").size());
  const std::wstring renamed = scratch_.Path().substr(scratch_.Path().rfind(L'\\') + 1) + L".renamed";
  EXPECT_EQ(S_OK, Invoke(copy->Published(), L"Rename", DISPATCH_METHOD, {VStr(renamed).ref()}));
  EXPECT_EQ(510u, Find(copy.get(), L"deep", L"").size());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (scratch_.Path() + L".copy").c_str());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, PathOf(copy.get()).c_str());
}

TEST_F(FindTest, RefusalsNameWhatIsWrong) {
  auto key = Aimed<Key>(scratch_.Path());
  Find(key.get(), L"", L"", errors::kInvalidProcedureCall);
  EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"empty"));
  Find(key.get(), L"a", L"KQ", errors::kInvalidProcedureCall);
  EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"\"Q\""));
  auto missing = Aimed<Key>(scratch_.Below(L"gone"));
  Find(missing.get(), L"a", L"", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(std::wstring::npos, ThreadErrorDescription().find(L"gone\" does not exist"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Invoke(key->Published(), L"FindSkipped", DISPATCH_PROPERTYPUT, {VI4(1).ref()}));
}

}  // namespace
}  // namespace vorn
