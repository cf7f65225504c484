// The data of a registry value of any type as automation values, both ways:
// what GetValue returns for the bytes the registry holds, and the exact
// bytes SetValue stores for what a client gives.
#pragma once

#include <windows.h>

#include <vector>

#include "automation/ownership.h"

namespace vorn::value_data {

// REG_SZ and REG_EXPAND_SZ: a String as stored, never expanded (whole
// units, one terminating zero unit dropped). REG_DWORD of 4 bytes: a Long.
// REG_QWORD of 8 bytes: its unsigned decimal text, exact where scripts hold
// no 64-bit integers. REG_MULTI_SZ: an array of Strings, every string up to
// the final terminator. Anything else, and data that does not fit its type:
// an array of Bytes. Arrays are VT_ARRAY|VT_VARIANT with lower bound 0.
unique_variant Decode(DWORD type, const BYTE* data, DWORD size);

// The bytes that store value as type, or a refusal (13 for a value of the
// wrong kind, 6 for a number out of range, 5 for a fraction, a zero
// character or an empty string in a list, 94 for Null), thrown before
// anything is written:
// - REG_SZ, REG_EXPAND_SZ: text (numbers as their text), with one
//   terminating zero unit; no zero character inside.
// - REG_MULTI_SZ: an array of non-empty texts, each with its terminating
//   zero unit, then one more.
// - REG_DWORD: a whole number from -2^31 to 2^32-1, 4 bytes little-endian.
// - REG_QWORD: a whole number or decimal text from 0 to 2^64-1, 8 bytes.
// - every other type: an array of whole numbers from 0 to 255, one byte each.
std::vector<BYTE> Encode(const VARIANT& value, DWORD type);

}  // namespace vorn::value_data
