// Copying a key with everything below it to a new key, and renaming a key:
// the work behind the key object's CopyTree and Rename. Both throw
// vorn::Error for every refusal and failure, with a description naming the
// key or value concerned, and leave the registry as it was when they fail.
#pragma once

#include <windows.h>

#include <string>

namespace vorn::tree_copy {

// A key as a key object names it.
struct KeyName {
  LONG root = 0;
  std::wstring path;  // normalised, as the key object keeps it; empty for the root itself
  REGSAM view = 0;
  // The text assigned to the path had spaces at an end, which the
  // normalisation dropped: the path then names another key than that text
  // spells, and the operations refuse it, as the tree delete does.
  bool lost_spaces = false;
};

// Copies source, its values and sub-keys all the way down with exact types
// and bytes, to destination, creating the keys missing along its path.
// Refused before anything is written: a destination that exists, or that
// lies inside source (same root, whole path components, any letter case).
// A failure part-way removes every key the copy created.
void CopyTree(const KeyName& source, const KeyName& destination);

// Gives source the last path component new_name, keeping everything below
// it, and returns the key's new path. RegRenameKey where the platform has
// it; otherwise a complete copy under the new name, and only then the delete
// of the old key. Refused: the root, an empty name, one holding a backslash
// or a zero character, one beginning or ending with a space (a key object's
// path could not name the result), and a sibling that exists. A change of
// letter case alone goes to RegRenameKey; without it, it is refused.
std::wstring Rename(const KeyName& source, const std::wstring& new_name);

}  // namespace vorn::tree_copy
