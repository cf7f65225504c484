// The registry service: the registry operations that the classes perform,
// over the wide-character functions of the seam in registry_api.h. Names,
// paths and string data cross as UTF-16, unit for unit as the client gave
// them or the registry holds them. Every operation returns the registry's
// status; the callers test only the values they name and never pass a status
// on to a client.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/ownership.h"
#include "registry/key_handle.h"

namespace vorn::registry {

inline constexpr LONG kSuccess = ERROR_SUCCESS;                      // 0
inline constexpr LONG kNoMoreItems = ERROR_NO_MORE_ITEMS;            // 259
inline constexpr LONG kInvalidName = ERROR_INVALID_PARAMETER;        // 87
inline constexpr REGSAM kRead = 0x20019;   // KEY_READ
inline constexpr REGSAM kWrite = 0x20006;  // KEY_WRITE

// A registry view (registry/view.h) is 0, the module's own, or
// KEY_WOW64_32KEY or KEY_WOW64_64KEY, which the callers add to the access
// mask of every open and which CreateKey passes on.

// A client's root key value as a handle. The value is a signed 32-bit number
// (the predefined keys are negative); it is sign-extended, so the same value
// names the same predefined key in a 64-bit build.
inline HKEY RootHandle(LONG root) noexcept { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root)); }

// True for the statuses that say the key or the handle itself is gone, after
// which no further index of an enumeration can succeed.
bool KeyIsGone(LONG status) noexcept;

// Walks the indices of an enumeration, from 0 up, and decides, status by
// status, when it ends: at kNoMoreItems, at the first status that says the
// key is gone, or after a long run of indices that each failed (the registry
// then answers every further index the same way, and counting on would take
// billions of calls). Any other failure concerns its index alone, which is
// skipped. The index is a signed 32-bit counter: stepping past its largest
// value raises the overflow error.
class IndexWalk {
 public:
  static constexpr int kFailedInARow = 256;
  DWORD Index() const noexcept { return static_cast<DWORD>(index_); }
  bool Ends(LONG status) noexcept {
    if (status == kNoMoreItems || KeyIsGone(status)) return true;
    failed_in_a_row_ = status == kSuccess ? 0 : failed_in_a_row_ + 1;
    return failed_in_a_row_ >= kFailedInARow;
  }
  void Next();

 private:
  LONG index_ = 0;
  int failed_in_a_row_ = 0;
};

// A name or path holding a zero character is refused with kInvalidName
// before any registry call: the registry would read it only up to that
// character and so act on another key or value. The caller's strings are
// only read. A name is copied, with a terminating zero of its own, so that
// nothing past its length is read; a path is passed as it is and must be a
// string the library made itself (these end in a zero unit), as the paths
// that the classes keep are.

LONG OpenKey(LONG root, BSTR path, REGSAM access, unique_hkey& key);
// The same for a path of length units followed by a zero unit.
LONG OpenKey(LONG root, const wchar_t* path, UINT length, REGSAM access, unique_hkey& key);
// RegCreateKeyW (RegCreateKeyExW in a view): creates every missing key along
// name below parent, or opens the existing one.
LONG CreateKey(HKEY parent, BSTR name, unique_hkey& created, REGSAM view = 0);
LONG SetDword(HKEY key, BSTR name, LONG data);
// Stores text as REG_SZ: its UTF-16 units, zeros included, plus one
// terminating zero unit.
LONG SetString(HKEY key, BSTR name, BSTR text);
LONG DeleteValue(HKEY key, BSTR name);
// Stores size bytes of data as a value of the given type, exactly.
LONG SetValue(HKEY key, BSTR name, DWORD type, const BYTE* data, DWORD size);
// The type and the whole data of the value name: data holds at least size
// bytes afterwards (it grows when the value is longer than it).
LONG QueryValue(HKEY key, BSTR name, DWORD& type, std::vector<BYTE>& data, DWORD& size);

// Registers, without waiting, for one signal of event at the next change of
// key: a value set or deleted, a sub-key created or deleted, and with
// subtree the same anywhere below it. The platform keeps the subtree flag of
// a handle's first registration for every later one on that handle.
LONG NotifyChange(HKEY key, bool subtree, HANDLE event);

// Whole trees: the operations that save, restore, copy and rename a key and
// everything below it. Names are plain zero-terminated strings here (a name
// holding a zero character cannot be passed to the registry at all). Every
// open and create adds view to its access mask; deletes pass it on.

// One value as the registry holds it: its name, type and exact bytes.
struct RawValue {
  std::wstring name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// Opens name below parent (an open key or a root handle).
LONG OpenSubKey(HKEY parent, const wchar_t* name, REGSAM access, unique_hkey& key);
// The same for a name of exactly length units, zero-terminated, as an
// enumeration reports it: one holding the character of code 0 (the native
// API can make one) would open another key, and is refused with kInvalidName.
LONG OpenSubKey(HKEY parent, const wchar_t* name, size_t length, REGSAM access, unique_hkey& key);
// Creates name below parent, or opens it when it exists; created (when not
// null) says which.
LONG CreateSubKey(HKEY parent, const wchar_t* name, REGSAM access, unique_hkey& key, bool* created = nullptr);
// Reads one value at a time, name, type and whole data, into buffers it
// keeps from one key to the next, so that a walk over a whole tree
// allocates them once.
class ValueCursor {
 public:
  ValueCursor();
  // The value at index of key: kSuccess, kNoMoreItems or the failure. Data
  // that grew between the size report and the read is read again.
  LONG Read(HKEY key, DWORD index);
  const wchar_t* Name() const noexcept { return name_.get(); }
  DWORD NameLength() const noexcept { return name_length_; }
  DWORD Type() const noexcept { return type_; }
  const BYTE* Data() const noexcept { return data_.data(); }
  DWORD Size() const noexcept { return size_; }

 private:
  std::unique_ptr<wchar_t[]> name_;
  std::vector<BYTE> data_;
  DWORD name_length_ = 0, type_ = 0, size_ = 0;
};
// Stores value in key with exactly its type and bytes (string data without
// a terminator, or of an odd length, included).
LONG WriteValue(HKEY key, const RawValue& value);
// The same for a name (without a zero character) and data held elsewhere.
LONG WriteValue(HKEY key, const std::wstring& name, DWORD type, const BYTE* data, size_t size);
// The same for a name of length units followed by a zero unit.
LONG WriteValue(HKEY key, const wchar_t* name, size_t length, DWORD type, const BYTE* data, size_t size);
// The names of key's direct sub-keys, in the order the registry enumerates
// them. Any failure but the end of the list ends the read with its status:
// no name is ever skipped.
LONG ReadSubKeyNames(HKEY key, std::vector<std::wstring>& names);
// How many direct sub-keys and values key has (RegQueryInfoKeyW), and,
// when last_write is not null, when the key was last written (UTC).
LONG QueryCounts(HKEY key, DWORD& sub_keys, DWORD& values, FILETIME* last_write = nullptr);
// Deletes name (not empty) below parent with everything below it, depth
// first; the first failure ends it with its status, leaving what was not
// yet deleted. A registry link in the tree is deleted itself, never what it
// points at.
LONG DeleteSubTree(HKEY parent, const wchar_t* name, REGSAM view = 0);
// A key opened as itself for its delete, not followed if it is a registry
// link (a key whose REG_LINK value SymbolicLinkValue sends every open by
// name to another key): by its name, a delete would reach that other key.
struct KeyToDelete {
  unique_hkey key;         // KEY_READ, with DELETE where the caller may
  bool deletable = false;  // opened with DELETE
  bool link = false;
};
// Opens the key at path (not the root itself) below root, in view.
LONG OpenToDelete(LONG root, BSTR path, REGSAM view, KeyToDelete& opened);
// Deletes the key OpenToDelete opened; it must have no sub-keys left.
LONG DeleteOpened(const KeyToDelete& opened);
// Renames sub_key of key (RegRenameKey, looked up at run time);
// ERROR_CALL_NOT_IMPLEMENTED where the platform has no such function.
LONG RenameKey(HKEY key, const wchar_t* sub_key, const wchar_t* new_name);

// Key security. The parts info (OWNER_SECURITY_INFORMATION and the like) of
// key's security descriptor, self-relative, in descriptor (sized to fit);
// the handle must carry READ_CONTROL, and ACCESS_SYSTEM_SECURITY for the
// SACL.
LONG ReadSecurity(HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>& descriptor);
// Sets the parts info of key's security descriptor, with the PROTECTED_ and
// UNPROTECTED_ flags for the lists, in one call (SetSecurityInfo, which on
// Windows also passes inheritable entries on to the sub-keys). The handle
// carries WRITE_DAC for the DACL, WRITE_OWNER for the owner or group, and
// ACCESS_SYSTEM_SECURITY for the SACL.
LONG WriteSecurity(HKEY key, SECURITY_INFORMATION info, PSID owner, PSID group, PACL dacl, PACL sacl);

// The length in units of the text that string data of size bytes holds:
// whole UTF-16 units (a stray odd last byte is dropped), less one
// terminating zero unit when there is one. Zeros inside the text stay.
UINT TextLength(const wchar_t* data, DWORD size) noexcept;

// Calls each(text, length) for every string of REG_MULTI_SZ data of length
// whole units, in order: the list's final terminator (an empty string) and
// the last string's terminator are dropped, and the rest splits at each
// zero unit. Data without terminators loses nothing; no data is no string.
template <typename Each>
void ForEachListString(const wchar_t* units, UINT length, Each&& each) {
  for (int terminators = 0; terminators < 2 && length > 0 && units[length - 1] == L'\0'; ++terminators) --length;
  if (length == 0) return;
  for (UINT start = 0;;) {
    UINT end = start;
    while (end < length && units[end] != L'\0') ++end;
    each(units + start, end - start);
    if (end == length) return;
    start = end + 1;
  }
}

// Reads the names of a key's sub-keys, one RegEnumKeyExW call per index.
class SubKeyReader {
 public:
  explicit SubKeyReader(HKEY key) noexcept : key_(key) {}
  // Reads the sub-keys of key from now on (one reader for a whole walk).
  void Aim(HKEY key) noexcept { key_ = key; }
  // On kSuccess, Name() is the sub-key at index.
  LONG Read(DWORD index);
  unique_bstr Name() const;
  std::wstring NameText() const;
  // The same, as length units followed by a zero unit, until the next Read.
  const wchar_t* NameUnits() const noexcept { return name_; }
  UINT NameLength() const noexcept { return static_cast<UINT>(name_length_); }

 private:
  static constexpr DWORD kNameBuffer = 2000;  // characters; key names are at most 255
  HKEY key_;
  wchar_t name_[kNameBuffer] = {};
  DWORD name_length_ = 0;
};

// Reads a key's values: names and type codes by index (no data is fetched
// during the enumeration), then the data of REG_DWORD and REG_SZ values by
// name.
class ValueReader {
 public:
  explicit ValueReader(HKEY key);
  // On kSuccess, Name(), NameLength() and Type() describe the value at index.
  LONG Read(DWORD index);
  const wchar_t* Name() const noexcept { return name_buffer_.data(); }
  UINT NameLength() const noexcept { return name_length_; }
  DWORD Type() const noexcept { return type_; }

  // The value name is given as its length units followed by a zero unit.
  // The REG_DWORD value name, as a little-endian signed 32-bit integer. Data
  // shorter than four bytes reads as zero-extended.
  LONG QueryDword(const wchar_t* name, UINT length, LONG& data);
  // The REG_SZ value name, whole whatever its length, in UTF-16 units: one
  // terminating zero unit is dropped when there is one, every other unit is
  // kept (zeros included), and a stray odd last byte is dropped. The text
  // stays in the reader's buffer until its next query.
  LONG QueryText(const wchar_t* name, UINT length, const wchar_t*& text, UINT& text_length);

 private:
  HKEY key_;
  // Large enough for the longest value name the registry allows (16,383
  // characters and the terminating zero).
  std::vector<wchar_t> name_buffer_;
  UINT name_length_ = 0;
  DWORD type_ = 0;
  std::vector<wchar_t> data_;
};

}  // namespace vorn::registry
