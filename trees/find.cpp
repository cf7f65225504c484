// Find: the options, the match of each key name, value name and string
// value as the shared walk hands them over, and the hits built only for
// what matched.
#include "trees/find.h"

#include "automation/arguments.h"
#include "automation/errors.h"
#include "automation/variant_array.h"
#include "registry/service.h"
#include "trees/pattern.h"
#include "trees/walk.h"

namespace vorn::trees {

namespace {

// Hands each hit over as it is found; a key that cannot be read is noted
// and the walk goes on after it.
class Finder final : public TreeVisitor {
 public:
  Finder(Pattern& pattern, const FindOptions& options, std::vector<std::wstring>& skipped)
      : pattern_(pattern), options_(options), skipped_(skipped) {}

  unique_variant Hits() {
    VariantArray all(static_cast<ULONG>(hits_.size()));
    for (size_t i = 0; i < hits_.size(); ++i) all[static_cast<ULONG>(i)] = hits_[i].release();
    return all.Done();
  }

  void Enter(const TreeWalk& walk) override {
    if (walk.Depth() > 0 && options_.keys && pattern_.Matches(walk.Name())) Hit(walk, nullptr, 0, L"key", 0);
  }
  void Value(const TreeWalk& walk, const registry::ValueCursor& value) override {
    if (options_.names && pattern_.Matches(value.Name(), value.NameLength()))
      Hit(walk, value.Name(), value.NameLength(), L"name", value.Type());
    else if (options_.data && DataMatches(value))
      Hit(walk, value.Name(), value.NameLength(), L"data", value.Type());
  }
  void Unreadable(const TreeWalk& walk, LONG, bool) override { skipped_.push_back(walk.Path()); }
  void Restart() override {
    hits_.clear();
    skipped_.clear();
  }

 private:
  // The text of the string types: REG_SZ and REG_EXPAND_SZ as stored (not
  // expanded), each string of a REG_MULTI_SZ; whole UTF-16 units only.
  bool DataMatches(const registry::ValueCursor& value) {
    const auto* units = reinterpret_cast<const wchar_t*>(value.Data());
    switch (value.Type()) {
      case REG_SZ:
      case REG_EXPAND_SZ: return pattern_.Matches(units, registry::TextLength(units, value.Size()));
      case REG_MULTI_SZ: {
        bool found = false;
        registry::ForEachListString(units, static_cast<UINT>(value.Size() / sizeof(wchar_t)),
                                    [&](const wchar_t* text, UINT length) {
                                      found = found || pattern_.Matches(text, length);
                                    });
        return found;
      }
      default: return false;
    }
  }

  void Hit(const TreeWalk& walk, const wchar_t* name, size_t name_length, const wchar_t* kind, DWORD type) {
    VariantArray hit(4);
    hit[0] = TextVariant(walk.Path().data(), walk.Path().size()).release();
    if (name) hit[1] = TextVariant(name, name_length).release();
    else V_VT(&hit[1]) = VT_NULL;
    hit[2] = TextVariant(kind, std::char_traits<wchar_t>::length(kind)).release();
    V_VT(&hit[3]) = VT_I4;
    V_I4(&hit[3]) = static_cast<LONG>(type);
    hits_.push_back(hit.Done());
  }

  Pattern& pattern_;
  const FindOptions& options_;
  std::vector<std::wstring>& skipped_;
  std::vector<unique_variant> hits_;
};

}  // namespace

FindOptions ParseFindOptions(std::wstring_view letters) {
  FindOptions options;
  for (wchar_t letter : letters) {
    switch (letter) {
      case L'K': case L'k': options.keys = true; break;
      case L'V': case L'v': options.names = true; break;
      case L'D': case L'd': options.data = true; break;
      case L'C': case L'c': options.exact_case = true; break;
      case L'E': case L'e': options.whole = true; break;
      default:
        throw Error(errors::kInvalidProcedureCall, L"The option \"" + std::wstring(1, letter) +
                                                       L"\" of Find is none of K, V, D, C and E");
    }
  }
  if (!options.keys && !options.names && !options.data) options.keys = options.names = options.data = true;
  return options;
}

unique_variant Find(const KeyName& key, const VARIANT& pattern, const VARIANT* options,
                    std::vector<std::wstring>& skipped) {
  skipped.clear();
  unique_bstr text = arguments::Text(pattern, L"Pattern");
  if (!::SysStringLen(text.get())) throw Error(errors::kInvalidProcedureCall, L"The pattern of Find is empty");
  unique_bstr letters = options ? arguments::Text(*options, L"Options") : unique_bstr();
  const FindOptions chosen = ParseFindOptions({letters.get() ? letters.get() : L"", ::SysStringLen(letters.get())});
  Pattern matcher({text.get(), ::SysStringLen(text.get())}, chosen.whole, chosen.exact_case);

  RefuseZero(key);
  unique_hkey top = Open(registry::RootHandle(key.root), key.path, registry::kRead | key.view, FullName(key));
  Finder finder(matcher, chosen, skipped);
  WalkTree(top.get(), key.path, key.view, finder);
  return finder.Hits();
}

unique_variant PathArray(const std::vector<std::wstring>& paths) {
  VariantArray array(static_cast<ULONG>(paths.size()));
  for (size_t i = 0; i < paths.size(); ++i) array[static_cast<ULONG>(i)] = TextVariant(paths[i].data(), paths[i].size()).release();
  return array.Done();
}

}  // namespace vorn::trees
