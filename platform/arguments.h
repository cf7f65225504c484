// Conversions of the arguments of the members beyond the type library, which
// dispatch hands over as they came: text, integral numbers in a range, a
// registry view, and the elements of an array (an automation array or a
// JScript array). Each refusal throws the conventional error with a
// description that says what was expected.
#pragma once

#include <oaidl.h>

#include <functional>

#include "platform/dispatch.h"
#include "platform/handles.h"

namespace vorn::arguments {

// Text: a string as it is; a number, a date or a Boolean as its text; Empty
// as the empty string. Null is refused (94), and so is anything else, an
// object or an array (13).
unique_bstr Text(const VARIANT& value, const wchar_t* what);

// A Boolean: True or False, or anything that converts to one (a number, its
// text, "True" or "False"). Null: 94; anything else: 13.
bool Boolean(const VARIANT& value, const wchar_t* what);

// An integral number from low to high: any numeric type whose value is a
// whole number, or its plain decimal text (digits, with a leading minus sign
// for a negative number). Null: 94; not a number (Empty, a Boolean, other
// text, an object): 13; a fraction: 5; outside the range: 6.
LONGLONG Signed(const VARIANT& value, LONGLONG low, LONGLONG high, const wchar_t* what);
ULONGLONG Unsigned(const VARIANT& value, ULONGLONG high, const wchar_t* what);

// A registry view as the access flag (see registry::ViewFromNumber): the
// numbers 0, 32 and 64. Anything else is refused with error 5.
REGSAM View(const VARIANT& value);
// Serves a View property: a read returns the number as a Long, an
// assignment stores the view, or refuses it and changes nothing.
void ServeView(ExtraCall& call, REGSAM& view);

// Calls each(element) for every element of a one-dimensional automation
// array, of any element type, or of a JScript array (an object with a
// length, whose elements are its properties "0", "1", ...; a hole is Empty),
// in order. False for anything else; an array of more dimensions is refused
// with error 5.
bool ForEachElement(const VARIANT& value, const std::function<void(const VARIANT&)>& each);

}  // namespace vorn::arguments
