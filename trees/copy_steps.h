// What the whole-tree operations share: the opens and refusals, with texts
// naming the key, and the undo of a half-made copy.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "registry/key_name.h"
#include "registry/service.h"

namespace vorn::trees {

using registry::FullName;
using registry::KeyName;

inline constexpr REGSAM kReadWrite = registry::kRead | registry::kWrite;

// The refusals and failures of copy and rename, as vorn::Error with a
// description naming the key: a refusal of the arguments (error 5); a
// registry status (ERROR_FILE_NOT_FOUND says "does not exist", any other
// "<what> (error n)"); a key that already exists.
[[noreturn]] void Refuse(const std::wstring& text);
[[noreturn]] void Failed(LONG status, const std::wstring& name, const wchar_t* what);
[[noreturn]] void Exists(const std::wstring& name);
// Refuses a key whose path holds the character of code 0: the registry's
// calls would read it only up to there, another key (error 5).
void RefuseZero(const KeyName& key);
// Refuses that, and a key whose path lost spaces to trimming: it names
// another key too. For the operations that change a key.
void RefuseLostSpaces(const KeyName& key);

// Opens sub below parent, or throws Failed naming the key.
unique_hkey Open(HKEY parent, const std::wstring& sub, REGSAM access, const std::wstring& name);
// ERROR_FILE_NOT_FOUND: false; any other failure is an error naming the key.
bool KeyExists(HKEY parent, const std::wstring& sub, REGSAM view, const std::wstring& name);

// What a copy has created: the first key it made (below a parent that stays
// open while this lives), which is removed with everything below it unless
// the copy is kept.
class Created {
 public:
  Created(HKEY parent, std::wstring path, REGSAM view) : parent_(parent), path_(std::move(path)), view_(view) {}
  ~Created() { Remove(); }
  Created(const Created&) = delete;
  Created& operator=(const Created&) = delete;
  void Keep() noexcept { done_ = true; }
  LONG Remove() noexcept;

 private:
  HKEY parent_;
  std::wstring path_;
  REGSAM view_;
  bool done_ = false;
};

// Within a catch block: rethrows the error that ended a copy, after
// removing what it created, saying so when that removal failed too.
[[noreturn]] void Undo(Created* created, const std::wstring& name);

}  // namespace vorn::trees
