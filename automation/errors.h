// The one error type of the library. Members throw vorn::Error; the vtable
// boundary of every published method (Guard) turns it into an HRESULT plus
// IErrorInfo, so that a script sees Err.Number and Err.Description.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <new>
#include <string>
#include <utility>

namespace vorn {

// The conventional automation errors, as FACILITY_CONTROL HRESULTs, so that
// script clients recognise them by their usual numbers.
namespace errors {
inline constexpr HRESULT kInvalidProcedureCall = static_cast<HRESULT>(0x800A0005);  // 5
inline constexpr HRESULT kOverflow = static_cast<HRESULT>(0x800A0006);              // 6
inline constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x800A0007);           // 7
inline constexpr HRESULT kSubscriptOutOfRange = static_cast<HRESULT>(0x800A0009);   // 9
inline constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);          // 13
inline constexpr HRESULT kInvalidUseOfNull = static_cast<HRESULT>(0x800A005E);      // 94
inline constexpr HRESULT kObjectRequired = static_cast<HRESULT>(0x800A01A8);        // 424
inline constexpr HRESULT kDuplicateKey = static_cast<HRESULT>(0x800A01C9);          // 457
}  // namespace errors

class Error {
 public:
  Error(HRESULT hr, std::wstring description) : hr_(hr), description_(std::move(description)) {}
  HRESULT hr() const noexcept { return hr_; }
  const std::wstring& description() const noexcept { return description_; }

 private:
  HRESULT hr_;
  std::wstring description_;
};

// The usual text of an error number, or an empty string.
const wchar_t* DescriptionOf(HRESULT hr) noexcept;

// Throws the conventional error for hr with its usual description.
[[noreturn]] void Raise(HRESULT hr);

// For a failure returned by a call into the platform or into another object:
// maps the automation runtime's conversion statuses (DISP_E_OVERFLOW,
// DISP_E_TYPEMISMATCH, E_OUTOFMEMORY, E_INVALIDARG) to the conventional
// errors and passes any other failure on unchanged, keeping the description
// that the callee left in the thread's error information.
void ThrowIfFailed(HRESULT hr);

// Records the error as the thread's error information for the interface iid
// and returns hr. Takes the text as it is, so that reporting needs no memory
// of its own (it also reports running out of memory).
HRESULT ReportError(HRESULT hr, const wchar_t* description, const IID& iid) noexcept;
inline HRESULT ReportError(const Error& e, const IID& iid) noexcept {
  return ReportError(e.hr(), e.description().c_str(), iid);
}

// The same for an error that IDispatch::Invoke returns itself: when the
// caller passed an EXCEPINFO, it receives the number and description and
// the result is DISP_E_EXCEPTION, as the platform's dispatch reports a
// member's error; otherwise hr. The first form describes hr with its usual
// text, the second carries the error's own.
HRESULT ReportException(HRESULT hr, const IID& iid, EXCEPINFO* excep_info) noexcept;
HRESULT ReportException(const Error& e, const IID& iid, EXCEPINFO* excep_info) noexcept;

// Runs body; any error it throws becomes the HRESULT returned, with
// IErrorInfo set.
template <typename Body>
HRESULT Guard(const IID& iid, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const Error& e) {
    return ReportError(e, iid);
  } catch (const std::bad_alloc&) {
    return ReportError(errors::kOutOfMemory, DescriptionOf(errors::kOutOfMemory), iid);
  } catch (...) {
    return ReportError(E_UNEXPECTED, L"Unexpected failure", iid);
  }
}

}  // namespace vorn
