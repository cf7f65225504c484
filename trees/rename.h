// Renaming a key, keeping everything below it: the work behind the key
// object's Rename. Like the copy, it throws vorn::Error for every refusal
// and failure, naming the key, and leaves the registry as it was.
#pragma once

#include "trees/copy_steps.h"

namespace vorn::trees {

// Gives source the last path component new_name, keeping everything below
// it, and returns the key's new path. RegRenameKey where the platform has
// it; otherwise a complete copy under the new name, and only then the delete
// of the old key. Refused: the root, an empty name, one holding a backslash
// or a zero character, one beginning or ending with a space (a key object's
// path could not name the result), and a sibling that exists. A change of
// letter case alone goes to RegRenameKey; without it, it is refused.
std::wstring Rename(const KeyName& source, const std::wstring& new_name);

}  // namespace vorn::trees
