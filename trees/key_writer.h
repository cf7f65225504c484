// KeyWriter: writes keys and values below an open key one at a time, in the
// order a walk hands them over (a key, its values, its sub-keys), with one
// handle open per level and errors naming the key or value.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "registry/key_handle.h"

namespace vorn::trees {

class KeyWriter {
 public:
  // key is open with write access and stays the caller's; path names it in
  // errors; the keys below it are created in view.
  KeyWriter(HKEY key, std::wstring path, REGSAM view) : top_(key), path_(std::move(path)), view_(view) {}

  // Creates name below the current key (or opens it where it exists) and
  // makes it the current key. Names here and in Value are their units
  // followed by a zero unit (a std::wstring's, or the walk's).
  void Enter(std::wstring_view name);
  // Stores a value in the current key with exactly its type and bytes.
  void Value(std::wstring_view name, DWORD type, const BYTE* data, size_t size);
  // Closes the current key: its parent is current again.
  void Leave();

 private:
  HKEY top_;
  std::vector<unique_hkey> open_;  // the keys entered, outermost first
  std::vector<size_t> lengths_;    // the path's length before each
  std::wstring path_;
  REGSAM view_;
};

}  // namespace vorn::trees
