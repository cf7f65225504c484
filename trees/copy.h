// Copying a key with everything below it to a new key: the work behind the
// key object's CopyTree. It throws vorn::Error for every refusal and
// failure, with a description naming the key or value concerned, and leaves
// the registry as it was when it fails.
#pragma once

#include "trees/copy_steps.h"

namespace vorn::trees {

// Copies source, its values and sub-keys all the way down with exact types
// and bytes, to destination, creating the keys missing along its path.
// Refused before anything is written: a destination that exists, or that
// lies inside source (same root, whole path components, any letter case).
// A failure part-way removes every key the copy created.
void CopyTree(const KeyName& source, const KeyName& destination);

}  // namespace vorn::trees
