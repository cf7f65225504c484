#include "platform/registry.h"

#include <climits>
#include <cstring>

#include "platform/ansi_text.h"
#include "platform/errors.h"
#include "platform/registry_api.h"

namespace vorn::registry {

namespace {

constexpr DWORD kShortNameBuffer = 2000;
constexpr DWORD kValueNameBuffer = 32768;
constexpr DWORD kStringDataBuffer = 2000;
// How often a string value is read again when it grew between the size
// report and the read.
constexpr int kStringRereads = 4;

// The 8-bit form of a name or path, or the status that refuses it.
LONG NameToAnsi(BSTR text, std::string& out) {
  if (!ansi::FromBstr(text, out)) return kNoUnicodeTranslation;
  if (out.find('\0') != std::string::npos) return kInvalidName;
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
  key.reset();
  std::string ansi_path;
  if (LONG refused = NameToAnsi(path, ansi_path)) return refused;
  HKEY opened = nullptr;
  LONG status = api::OpenKeyExA(RootHandle(root), ansi_path.c_str(), 0, access, &opened);
  if (status == kSuccess) key.reset(opened);
  return status;
}

LONG DeleteKey(LONG root, BSTR path) {
  std::string ansi_path;
  if (LONG refused = NameToAnsi(path, ansi_path)) return refused;
  return api::DeleteKeyA(RootHandle(root), ansi_path.c_str());
}

LONG CreateKey(HKEY parent, BSTR name, unique_hkey& created) {
  created.reset();
  std::string ansi_name;
  if (LONG refused = NameToAnsi(name, ansi_name)) return refused;
  HKEY handle = nullptr;
  LONG status = api::CreateKeyA(parent, ansi_name.c_str(), &handle);
  if (status == kSuccess) created.reset(handle);
  return status;
}

LONG SetDword(HKEY key, BSTR name, LONG data) {
  std::string ansi_name;
  if (LONG refused = NameToAnsi(name, ansi_name)) return refused;
  BYTE bytes[4];
  DWORD raw = static_cast<DWORD>(data);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(raw >> (8 * i));
  return api::SetValueExA(key, ansi_name.c_str(), 0, REG_DWORD, bytes, sizeof bytes);
}

LONG SetString(HKEY key, BSTR name, BSTR text) {
  std::string ansi_name, ansi_text;
  if (LONG refused = NameToAnsi(name, ansi_name)) return refused;
  if (!ansi::FromBstr(text, ansi_text)) return kNoUnicodeTranslation;
  // The stored data is the text with one terminating zero; zero characters
  // inside the text are stored as they are.
  return api::SetValueExA(key, ansi_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(ansi_text.c_str()),
                          static_cast<DWORD>(ansi_text.size() + 1));
}

LONG DeleteValue(HKEY key, BSTR name) {
  std::string ansi_name;
  if (LONG refused = NameToAnsi(name, ansi_name)) return refused;
  return api::DeleteValueA(key, ansi_name.c_str());
}

LONG SubKeyReader::Read(DWORD index) {
  name_length_ = kNameBuffer;
  DWORD class_length = 0;
  FILETIME last_write{};
  LONG status = api::EnumKeyExA(key_, index, name_, &name_length_, nullptr, nullptr, &class_length, &last_write);
  if (status == kSuccess && name_length_ > kNameBuffer) status = ERROR_MORE_DATA;
  return status;
}

unique_bstr SubKeyReader::Name() const { return ansi::ToBstr(name_, name_length_); }

ValueReader::ValueReader(HKEY key) : key_(key), name_buffer_(kValueNameBuffer), data_(kStringDataBuffer) {}

LONG ValueReader::Read(DWORD index) {
  // Most names fit the short buffer, which the registry serves much faster;
  // a longer name is read again, at the same index, into one large enough
  // for the longest name the registry allows. No data is fetched.
  DWORD capacity = kShortNameBuffer;
  for (;;) {
    DWORD name_length = capacity;
    DWORD type = 0;
    LONG status = api::EnumValueA(key_, index, name_buffer_.data(), &name_length, nullptr, &type, nullptr, nullptr);
    if (status == ERROR_MORE_DATA && capacity < kValueNameBuffer) {
      capacity = kValueNameBuffer;
      continue;
    }
    if (status == kSuccess) {
      if (name_length >= capacity) return ERROR_MORE_DATA;
      name_.assign(name_buffer_.data(), name_length);
      type_ = type;
    }
    return status;
  }
}

LONG ValueReader::QueryDword(const std::string& name, LONG& data) {
  // Cleared before every query, so that data shorter than four bytes never
  // carries bytes of another value.
  BYTE bytes[4] = {0, 0, 0, 0};
  DWORD type = REG_DWORD;
  DWORD size = sizeof bytes;
  LONG status = api::QueryValueExA(key_, name.c_str(), nullptr, &type, bytes, &size);
  if (status == kSuccess) {
    DWORD raw = 0;
    for (int i = 0; i < 4; ++i) raw |= static_cast<DWORD>(bytes[i]) << (8 * i);
    data = static_cast<LONG>(raw);
  }
  return status;
}

LONG ValueReader::QueryString(const std::string& name, unique_bstr& text) {
  DWORD capacity = kStringDataBuffer;
  LONG status = kSuccess;
  DWORD size = 0;
  for (int attempt = 0; attempt <= kStringRereads; ++attempt) {
    if (data_.size() < capacity) data_.resize(capacity);
    std::memset(data_.data(), 0, capacity);
    DWORD type = REG_SZ;
    size = capacity;
    status = api::QueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data_.data()), &size);
    if (status != ERROR_MORE_DATA || size <= capacity) break;
    // The value is longer than the buffer: the size now says how long.
    capacity = size;
  }
  if (status != kSuccess) return status;
  if (size > capacity) size = capacity;
  // Data stored without a terminating zero keeps every byte.
  if (size > 0 && data_[size - 1] == '\0') --size;
  text = ansi::ToBstr(data_.data(), size);
  return kSuccess;
}

}  // namespace vorn::registry
