// Value data both ways: the automation value GetValue returns for each
// registry type, and the exact bytes SetValue stores.
#include "values/value_data.h"

#include <climits>
#include <cwchar>
#include <string>

#include "automation/arguments.h"
#include "automation/errors.h"
#include "automation/variant_array.h"
#include "registry/service.h"

namespace vorn::value_data {

namespace {

constexpr DWORD kQword = 11;  // REG_QWORD

unique_variant Bytes(const BYTE* data, DWORD size) {
  VariantArray bytes(size);
  for (DWORD i = 0; i < size; ++i) {
    V_VT(&bytes[i]) = VT_UI1;
    V_UI1(&bytes[i]) = data[i];
  }
  return bytes.Done();
}

unique_variant Strings(const wchar_t* units, UINT length) {
  ULONG count = 0;
  registry::ForEachListString(units, length, [&](const wchar_t*, UINT) { ++count; });
  VariantArray strings(count);
  ULONG n = 0;
  registry::ForEachListString(units, length, [&](const wchar_t* text, UINT text_length) {
    V_BSTR(&strings[n]) = MakeBstr(text, text_length).release();
    V_VT(&strings[n++]) = VT_BSTR;
  });
  return strings.Done();
}

unique_variant Decimal(ULONGLONG n) {
  wchar_t digits[24];
  wchar_t* end = digits + 24;
  wchar_t* p = end;
  do {
    *--p = static_cast<wchar_t>(L'0' + n % 10);
    n /= 10;
  } while (n);
  return TextVariant(p, end - p);
}

void AppendUnits(std::vector<BYTE>& bytes, const wchar_t* text, UINT length) {
  const BYTE* first = reinterpret_cast<const BYTE*>(text);
  bytes.insert(bytes.end(), first, first + static_cast<size_t>(length) * sizeof(wchar_t));
  bytes.push_back(0), bytes.push_back(0);  // its terminating zero unit
}

void AppendLittleEndian(std::vector<BYTE>& bytes, ULONGLONG n, int count) {
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<BYTE>(n >> (8 * i)));
}

// Text for a string type: no zero character, which would end it early for
// every reader.
unique_bstr TextWithoutZero(const VARIANT& value, const wchar_t* what) {
  unique_bstr text = arguments::Text(value, what);
  UINT length = ::SysStringLen(text.get());
  if (length && std::wmemchr(text.get(), L'\0', length))
    throw Error(errors::kInvalidProcedureCall, std::wstring(what) + L" cannot hold the character of code 0");
  return text;
}

}  // namespace

unique_variant Decode(DWORD type, const BYTE* data, DWORD size) {
  const wchar_t* units = reinterpret_cast<const wchar_t*>(data);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return TextVariant(units, registry::TextLength(units, size));
    case REG_MULTI_SZ: return Strings(units, size / sizeof(wchar_t));
    case REG_DWORD:
      if (size != 4) break;
      {
        unique_variant number;
        V_VT(&number.ref()) = VT_I4;
        V_I4(&number.ref()) = static_cast<LONG>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<ULONG>(data[3]) << 24);
        return number;
      }
    case kQword:
      if (size != 8) break;
      {
        ULONGLONG n = 0;
        for (int i = 7; i >= 0; --i) n = n << 8 | data[i];
        return Decimal(n);
      }
    default: break;
  }
  return Bytes(data, size);
}

std::vector<BYTE> Encode(const VARIANT& value, DWORD type) {
  std::vector<BYTE> bytes;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      unique_bstr text = TextWithoutZero(value, L"A string value");
      AppendUnits(bytes, text.get(), ::SysStringLen(text.get()));
      break;
    }
    case REG_MULTI_SZ: {
      bool listed = arguments::ForEachElement(value, [&](const VARIANT& element) {
        unique_bstr text = TextWithoutZero(element, L"A string of a REG_MULTI_SZ list");
        // An empty string would end the list there for every reader.
        if (!::SysStringLen(text.get()))
          throw Error(errors::kInvalidProcedureCall,
                      L"A REG_MULTI_SZ list cannot hold an empty string: it would end the list there");
        AppendUnits(bytes, text.get(), ::SysStringLen(text.get()));
      });
      if (!listed) throw Error(errors::kTypeMismatch, L"A REG_MULTI_SZ value must be an array of strings");
      bytes.push_back(0), bytes.push_back(0);  // the list's terminator
      break;
    }
    case REG_DWORD:
      AppendLittleEndian(bytes, static_cast<ULONGLONG>(arguments::Signed(value, INT_MIN, UINT_MAX, L"A REG_DWORD value")), 4);
      break;
    case kQword: AppendLittleEndian(bytes, arguments::Unsigned(value, ULLONG_MAX, L"A REG_QWORD value"), 8); break;
    default: {
      bool listed = arguments::ForEachElement(value, [&](const VARIANT& element) {
        bytes.push_back(static_cast<BYTE>(arguments::Unsigned(element, 255, L"A byte")));
      });
      if (!listed) throw Error(errors::kTypeMismatch, L"Binary data must be an array of numbers from 0 to 255");
    }
  }
  return bytes;
}

}  // namespace vorn::value_data
