// KeyName: a key as a key object names it (root, normalised path, view),
// which the operations on a whole key take: copy, rename, search, security.
#pragma once

#include <windows.h>

#include <string>

#include "registry/root_names.h"

namespace vorn::registry {

struct KeyName {
  LONG root = 0;
  std::wstring path;  // normalised, as the key object keeps it; empty for the root itself
  REGSAM view = 0;
  // The text assigned to the path had spaces at an end, which the
  // normalisation dropped: the path then names another key than that text
  // spells, and the operations that change a key refuse it, as the tree
  // delete does.
  bool lost_spaces = false;
};

// The key's full name for texts: root name and path.
inline std::wstring FullName(const KeyName& key) { return KeyDisplayName(key.root, key.path); }

}  // namespace vorn::registry
