// The registry service: opens, creates, deletes, reads and writes through
// the seam, with names and paths checked before any call.
#include "registry/service.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>

#include "automation/errors.h"
#include "registry/api.h"

namespace vorn::registry {

namespace {

constexpr DWORD kValueNameBuffer = 16384;  // characters, with the terminating zero
constexpr DWORD kStringDataBuffer = 2000;  // bytes
// How often a value is read again when it grew between the size report and
// the read.
constexpr int kRereads = 4;

bool HoldsZero(const wchar_t* text, size_t length) noexcept {
  for (size_t i = 0; i < length; ++i)  // names are short: no call for them
    if (text[i] == L'\0') return true;
  return false;
}

// A name or path as a zero-terminated string of exactly its own units, or
// the status that refuses it. The copy carries a terminator of its own, so
// that nothing past the string's length is ever read.
LONG Terminated(BSTR text, std::wstring& out) {
  UINT length = ::SysStringLen(text);
  if (HoldsZero(text, length)) return kInvalidName;
  out.assign(length ? text : L"", length);
  return kSuccess;
}

}  // namespace

bool KeyIsGone(LONG status) noexcept {
  return status == ERROR_KEY_DELETED || status == ERROR_INVALID_HANDLE || status == ERROR_BADKEY;
}

void IndexWalk::Next() {
  if (index_ == LONG_MAX) Raise(errors::kOverflow);
  ++index_;
}

LONG CloseKey(HKEY key) noexcept { return api::CloseKey(key); }

LONG OpenKey(LONG root, BSTR path, REGSAM access, unique_hkey& key) {
  return OpenKey(root, path, ::SysStringLen(path), access, key);
}

LONG OpenKey(LONG root, const wchar_t* path, UINT length, REGSAM access, unique_hkey& key) {
  key.reset();
  if (HoldsZero(path, length)) return kInvalidName;
  HKEY opened = nullptr;
  LONG status = api::OpenKeyExW(RootHandle(root), path ? path : L"", 0, access, &opened);
  if (status == kSuccess) key.reset(opened);
  return status;
}

LONG CreateKey(HKEY parent, BSTR name, unique_hkey& created, REGSAM view) {
  created.reset();
  std::wstring exact_name;
  if (LONG refused = Terminated(name, exact_name)) return refused;
  HKEY handle = nullptr;
  // In a view the flag goes with the create itself: a handle opened in a
  // view does not carry it to the keys opened below it.
  LONG status = view ? api::CreateKeyExW(parent, exact_name.c_str(), MAXIMUM_ALLOWED | view, &handle)
                     : api::CreateKeyW(parent, exact_name.c_str(), &handle);
  if (status == kSuccess) created.reset(handle);
  return status;
}

LONG SetDword(HKEY key, BSTR name, LONG data) {
  BYTE bytes[4];
  DWORD raw = static_cast<DWORD>(data);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(raw >> (8 * i));
  return SetValue(key, name, REG_DWORD, bytes, sizeof bytes);
}

LONG SetString(HKEY key, BSTR name, BSTR text) {
  // The stored data is the text's units and one terminating zero unit of our
  // own, in whole units: the registry is never left to find (or read past)
  // the end. Zero characters inside the text are stored as they are.
  UINT length = ::SysStringLen(text);
  if (length >= MAXDWORD / sizeof(wchar_t)) return kInvalidName;  // its size would not fit the call
  std::wstring data(length ? text : L"", length);
  return SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

LONG SetValue(HKEY key, BSTR name, DWORD type, const BYTE* data, DWORD size) {
  std::wstring exact_name;
  if (LONG refused = Terminated(name, exact_name)) return refused;
  static const BYTE kNothing = 0;
  return api::SetValueExW(key, exact_name.c_str(), 0, type, size ? data : &kNothing, size);
}

LONG QueryValue(HKEY key, BSTR name, DWORD& type, std::vector<BYTE>& data, DWORD& size) {
  std::wstring exact_name;
  if (LONG refused = Terminated(name, exact_name)) return refused;
  LONG status = kSuccess;
  for (int attempt = 0; attempt <= kRereads; ++attempt) {
    size = static_cast<DWORD>(data.size());
    status = api::QueryValueExW(key, exact_name.c_str(), nullptr, &type, data.data(), &size);
    // Longer than the buffer: the size now says how long (and the value may
    // grow again before the next read).
    if (status != ERROR_MORE_DATA || size <= data.size()) break;
    data.resize(size);
  }
  if (status == kSuccess && size > data.size()) size = static_cast<DWORD>(data.size());
  return status;
}

LONG NotifyChange(HKEY key, bool subtree, HANDLE event) {
  return api::NotifyChangeKeyValue(key, subtree, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
}

LONG DeleteValue(HKEY key, BSTR name) {
  std::wstring exact_name;
  if (LONG refused = Terminated(name, exact_name)) return refused;
  return api::DeleteValueW(key, exact_name.c_str());
}

LONG OpenSubKey(HKEY parent, const wchar_t* name, REGSAM access, unique_hkey& key) {
  key.reset();
  HKEY opened = nullptr;
  LONG status = api::OpenKeyExW(parent, name, 0, access, &opened);
  if (status == kSuccess) key.reset(opened);
  return status;
}

LONG OpenSubKey(HKEY parent, const wchar_t* name, size_t length, REGSAM access, unique_hkey& key) {
  key.reset();
  if (HoldsZero(name, length)) return kInvalidName;
  return OpenSubKey(parent, name, access, key);
}

LONG CreateSubKey(HKEY parent, const wchar_t* name, REGSAM access, unique_hkey& key, bool* created) {
  key.reset();
  HKEY handle = nullptr;
  DWORD disposition = 0;
  LONG status = api::CreateKeyExW(parent, name, access, &handle, &disposition);
  if (status == kSuccess) key.reset(handle);
  if (created) *created = status == kSuccess && disposition == REG_CREATED_NEW_KEY;
  return status;
}

ValueCursor::ValueCursor()
    // Room for the longest name the registry allows, left uninitialised: the
    // read fills what it reports.
    : name_(std::make_unique_for_overwrite<wchar_t[]>(kValueNameBuffer)), data_(kStringDataBuffer) {}

LONG ValueCursor::Read(HKEY key, DWORD index) {
  LONG status = kSuccess;
  for (int attempt = 0; attempt <= kRereads; ++attempt) {
    name_length_ = kValueNameBuffer;
    size_ = static_cast<DWORD>(data_.size());
    status = api::EnumValueW(key, index, name_.get(), &name_length_, nullptr, &type_, data_.data(), &size_);
    if (status != ERROR_MORE_DATA) break;
    // The data is longer than the buffer: the size says how long, unless
    // the registry did not say (then twice the buffer is tried).
    data_.resize(size_ > data_.size() ? size_ : data_.size() * 2);
  }
  if (status == kSuccess && (name_length_ >= kValueNameBuffer || size_ > data_.size())) return ERROR_MORE_DATA;
  return status;
}

LONG WriteValue(HKEY key, const RawValue& value) {
  return WriteValue(key, value.name, value.type, value.data.data(), value.data.size());
}

LONG WriteValue(HKEY key, const std::wstring& name, DWORD type, const BYTE* data, size_t data_size) {
  return WriteValue(key, name.c_str(), name.size(), type, data, data_size);
}

LONG WriteValue(HKEY key, const wchar_t* name, size_t length, DWORD type, const BYTE* data, size_t data_size) {
  if (HoldsZero(name, length)) return kInvalidName;
  DWORD size = static_cast<DWORD>(data_size);
  if (size != data_size) return kInvalidName;
  static const BYTE kNothing = 0;
  if (!size) data = &kNothing;
  // For string types the registry adds a terminator the data lacks when the
  // unit just past it (or, for a single byte, the one before it) happens to
  // be zero, and reads that unit even for an odd size. Such data goes from
  // a copy between units that are not zero, so it is stored exactly as it
  // is.
  bool string_type = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK;
  bool ends_in_zero_unit = size >= 2 && size % 2 == 0 && data[size - 1] == 0 && data[size - 2] == 0;
  if (string_type && size && !ends_in_zero_unit) {
    std::vector<BYTE> padded(size + 4, 0xFF);
    std::memcpy(padded.data() + 2, data, size);
    return api::SetValueExW(key, name, 0, type, padded.data() + 2, size);
  }
  return api::SetValueExW(key, name, 0, type, data, size);
}

LONG ReadSubKeyNames(HKEY key, std::vector<std::wstring>& names) {
  names.clear();
  SubKeyReader reader(key);
  for (DWORD index = 0;; ++index) {
    LONG status = reader.Read(index);
    if (status == kNoMoreItems) return kSuccess;
    if (status != kSuccess) return status;
    names.push_back(reader.NameText());
  }
}

LONG QueryCounts(HKEY key, DWORD& sub_keys, DWORD& values, FILETIME* last_write) {
  return api::QueryInfoKeyW(key, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, last_write);
}

namespace {

// Whether key, opened with REG_OPTION_OPEN_LINK, is a link.
bool IsLink(HKEY key) {
  DWORD type = REG_NONE;
  return api::QueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == kSuccess &&
         type == REG_LINK;
}

// Opens name below parent as itself, a link not followed, with DELETE where
// the caller may: without that right its sub-keys may still go.
LONG OpenAsItself(HKEY parent, const std::wstring& name, REGSAM view, KeyToDelete& opened) {
  opened = KeyToDelete();
  // A name with the character of code 0 (the native API can make one) would
  // open, and delete, another key; one of backslashes alone, parent itself.
  if (HoldsZero(name.data(), name.size()) || name.find_first_not_of(L'\\') == std::wstring::npos)
    return kInvalidName;
  HKEY handle = nullptr;
  LONG status = api::OpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, kRead | DELETE | view, &handle);
  opened.deletable = status == kSuccess;
  if (status == ERROR_ACCESS_DENIED)
    status = api::OpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, kRead | view, &handle);
  if (status != kSuccess) return status;
  opened.key.reset(handle);
  opened.link = IsLink(handle);
  return kSuccess;
}

}  // namespace

LONG OpenToDelete(LONG root, BSTR path, REGSAM view, KeyToDelete& opened) {
  opened = KeyToDelete();
  std::wstring exact_path;
  if (LONG refused = Terminated(path, exact_path)) return refused;
  return OpenAsItself(RootHandle(root), exact_path, view, opened);
}

LONG DeleteOpened(const KeyToDelete& opened) {
  return opened.deletable ? api::DeleteOpenKey(opened.key.get()) : ERROR_ACCESS_DENIED;
}

LONG DeleteSubTree(HKEY parent, const wchar_t* name, REGSAM view) {
  if (!name) return kInvalidName;
  // Depth first with a level of its own per key on the way down, not a call
  // of its own: a tree can be thousands of keys deep under Wine. Each key
  // is opened as itself and deleted by that handle: a link is deleted, not
  // followed into its target.
  struct Level {
    KeyToDelete self;
    std::vector<std::wstring> children;
    size_t next = 0;
  };
  std::vector<Level> levels;
  auto enter = [&](HKEY above, const std::wstring& sub) {
    Level level;
    LONG status = OpenAsItself(above, sub, view, level.self);
    if (status != kSuccess) return status;
    if (level.self.link) return DeleteOpened(level.self);
    status = ReadSubKeyNames(level.self.key.get(), level.children);
    if (status == kSuccess) levels.push_back(std::move(level));  // last: sub may lie in levels
    return status;
  };
  if (LONG status = enter(parent, name)) return status;
  while (!levels.empty()) {
    Level& top = levels.back();
    if (top.next < top.children.size()) {
      if (LONG status = enter(top.self.key.get(), top.children[top.next++])) return status;
      continue;
    }
    LONG status = DeleteOpened(top.self);
    levels.pop_back();
    if (status != kSuccess) return status;
  }
  return kSuccess;
}

LONG RenameKey(HKEY key, const wchar_t* sub_key, const wchar_t* new_name) {
  return api::RenameKeyW(key, sub_key, new_name);
}

LONG ReadSecurity(HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>& descriptor) {
  if (descriptor.size() < 256) descriptor.resize(256);
  LONG status = kSuccess;
  // The descriptor may grow between the size report and the read.
  for (int attempt = 0; attempt <= kRereads; ++attempt) {
    DWORD size = static_cast<DWORD>(descriptor.size());
    status = api::GetKeySecurity(key, info, descriptor.data(), &size);
    if (status != ERROR_INSUFFICIENT_BUFFER || size <= descriptor.size()) break;
    descriptor.resize(size);
  }
  return status;
}

LONG WriteSecurity(HKEY key, SECURITY_INFORMATION info, PSID owner, PSID group, PACL dacl, PACL sacl) {
  return static_cast<LONG>(api::SetSecurityInfo(key, info, owner, group, dacl, sacl));
}

UINT TextLength(const wchar_t* data, DWORD size) noexcept {
  // Data stored without a terminating zero unit keeps every unit.
  UINT units = static_cast<UINT>(size / sizeof(wchar_t));
  if (units > 0 && data[units - 1] == L'\0') --units;
  return units;
}

LONG SubKeyReader::Read(DWORD index) {
  name_length_ = kNameBuffer;
  DWORD class_length = 0;
  FILETIME last_write{};
  LONG status = api::EnumKeyExW(key_, index, name_, &name_length_, nullptr, nullptr, &class_length, &last_write);
  if (status == kSuccess && name_length_ >= kNameBuffer) status = ERROR_MORE_DATA;
  return status;
}

unique_bstr SubKeyReader::Name() const { return MakeBstr(name_, name_length_); }
std::wstring SubKeyReader::NameText() const { return std::wstring(name_, name_length_); }

ValueReader::ValueReader(HKEY key) : key_(key), name_buffer_(kValueNameBuffer) {}

LONG ValueReader::Read(DWORD index) {
  // One buffer for every name, large enough for the longest the registry
  // allows (the wide function costs the same whatever buffer it is offered).
  // No data is fetched.
  DWORD name_length = kValueNameBuffer;
  DWORD type = 0;
  LONG status = api::EnumValueW(key_, index, name_buffer_.data(), &name_length, nullptr, &type, nullptr, nullptr);
  if (status == kSuccess) {
    if (name_length >= kValueNameBuffer) return ERROR_MORE_DATA;
    name_length_ = name_length;
    type_ = type;
  }
  return status;
}

LONG ValueReader::QueryDword(const wchar_t* name, UINT length, LONG& data) {
  // A listed name with a zero character in it would query another value.
  if (HoldsZero(name, length)) return kInvalidName;
  // Cleared before every query, so that data shorter than four bytes never
  // carries bytes of another value.
  BYTE bytes[4] = {0, 0, 0, 0};
  DWORD type = REG_DWORD;
  DWORD size = sizeof bytes;
  LONG status = api::QueryValueExW(key_, name, nullptr, &type, bytes, &size);
  if (status == kSuccess) {
    DWORD raw = 0;
    for (int i = 0; i < 4; ++i) raw |= static_cast<DWORD>(bytes[i]) << (8 * i);
    data = static_cast<LONG>(raw);
  }
  return status;
}

LONG ValueReader::QueryText(const wchar_t* name, UINT length, const wchar_t*& text, UINT& text_length) {
  if (HoldsZero(name, length)) return kInvalidName;
  DWORD capacity = kStringDataBuffer;  // bytes
  LONG status = kSuccess;
  DWORD size = 0;
  for (int attempt = 0; attempt <= kRereads; ++attempt) {
    size_t units = capacity / sizeof(wchar_t) + 1;  // room for an odd last byte
    if (data_.size() < units) data_.resize(units);
    DWORD type = REG_SZ;
    size = capacity;
    status = api::QueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data_.data()),
                                &size);
    if (status != ERROR_MORE_DATA || size <= capacity) break;
    // The value is longer than the buffer: the size now says how long.
    capacity = size;
  }
  if (status != kSuccess) return status;
  if (size > capacity) size = capacity;
  text = data_.data();
  text_length = TextLength(data_.data(), size);
  return kSuccess;
}

}  // namespace vorn::registry
