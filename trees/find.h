// clsKey.Find: a key and everything below it searched for a pattern in key
// names, value names and string data, the hits in the order `reg query /s`
// lists the tree, and the keys that could not be read kept apart.
#pragma once

#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "automation/ownership.h"
#include "trees/copy_steps.h"

namespace vorn::trees {

// What Options asks for: K key names, V value names, D data (all three when
// none is given), C exact letter case, E the whole text. Letters in any
// case; any other character is refused with error 5 naming it.
struct FindOptions {
  bool keys = false, names = false, data = false, exact_case = false, whole = false;
};
FindOptions ParseFindOptions(std::wstring_view letters);

// Searches key and everything below it (the key's own name excepted) for
// pattern (text, not empty) with options (text, or null for none). Returns
// the hits as an array of arrays: the key's path below its root, the
// value's name (Null for a key's own name), "key", "name" or "data", and
// the value's type (0 for a key). A value gives at most one hit, "name"
// before "data". skipped is replaced by the paths of the keys below that
// could not be opened or read; the search goes on after each. A key that
// cannot be opened itself is an error naming it, as are the refusals of
// the arguments.
unique_variant Find(const KeyName& key, const VARIANT& pattern, const VARIANT* options,
                    std::vector<std::wstring>& skipped);

// Paths as an automation array of strings (FindSkipped).
unique_variant PathArray(const std::vector<std::wstring>& paths);

}  // namespace vorn::trees
