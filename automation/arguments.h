// Conversions of the arguments of the members beyond the type library, which
// dispatch hands over as they came: text, integral numbers in a range, and the elements of an array (an automation array or a
// JScript array), and truth values. Each refusal throws the conventional error with a
// description that says what was expected.
#pragma once

#include <oaidl.h>

#include <functional>

#include "automation/dispatch.h"
#include "automation/ownership.h"

namespace vorn::arguments {

// Text: a string as it is; a number, a date or a Boolean as its text; Empty
// as the empty string. Null is refused (94), and so is anything else, an
// object or an array (13).
unique_bstr Text(const VARIANT& value, const wchar_t* what);

// An integral number from low to high: any numeric type whose value is a
// whole number, or its plain decimal text (digits, with a leading minus sign
// for a negative number). Null: 94; not a number (Empty, a Boolean, other
// text, an object): 13; a fraction: 5; outside the range: 6.
LONGLONG Signed(const VARIANT& value, LONGLONG low, LONGLONG high, const wchar_t* what);
ULONGLONG Unsigned(const VARIANT& value, ULONGLONG high, const wchar_t* what);

// A truth value: a Boolean, a number (any but 0 is True), the text "True"
// or "False" or a number's text; Empty is False. Null is refused (94), and
// so is anything else, other text, an object or an array (13).
bool Boolean(const VARIANT& value, const wchar_t* what);

// Calls each(element) for every element of a one-dimensional automation
// array, of any element type, or of a JScript array (an object with a
// length, whose elements are its properties "0", "1", ...; a hole is Empty),
// in order. False for anything else; an array of more dimensions is refused
// with error 5.
bool ForEachElement(const VARIANT& value, const std::function<void(const VARIANT&)>& each);

}  // namespace vorn::arguments
