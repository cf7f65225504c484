// unique_any<Traits>: the one owner of a handle-like resource, released
// with Traits::close on every path; the library's HKEY, BSTR, VARIANT,
// kernel handle and LocalAlloc owners are made from it.
#pragma once

#include <windows.h>

#include <utility>

namespace vorn {

// unique_any<Traits>: owns one resource of Traits::type and releases it with
// Traits::close. Traits::invalid() is the "owns nothing" value.
template <typename Traits>
class unique_any {
 public:
  using type = typename Traits::type;

  unique_any() noexcept : value_(Traits::invalid()) {}
  explicit unique_any(type value) noexcept : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  type get() const noexcept { return value_; }
  type& ref() noexcept { return value_; }
  const type& ref() const noexcept { return value_; }
  bool valid() const noexcept { return !Traits::is_invalid(value_); }
  explicit operator bool() const noexcept { return valid(); }

  // Releases what is held and returns the place for an out-parameter.
  type* put() noexcept {
    reset();
    return &value_;
  }
  type release() noexcept {
    type v = value_;
    value_ = Traits::invalid();
    return v;
  }
  void reset(type value = Traits::invalid()) noexcept {
    if (!Traits::is_invalid(value_)) Traits::close(value_);
    value_ = value;
  }

 private:
  type value_;
};

// A handle or pointer that is null when it owns nothing and is released by
// calling close.
template <typename T, auto close_fn>
struct null_handle_traits {
  using type = T;
  static T invalid() noexcept { return nullptr; }
  static bool is_invalid(T h) noexcept { return h == nullptr; }
  static void close(T h) noexcept { close_fn(h); }
};

// A kernel handle that closes with CloseHandle: an event, an access token.
using event_traits = null_handle_traits<HANDLE, &::CloseHandle>;
using unique_event = unique_any<event_traits>;
using unique_handle = unique_any<event_traits>;
// Memory the platform hands over to be freed with LocalFree (a security
// descriptor, a SID or a string from the security converters).
using unique_local = unique_any<null_handle_traits<HLOCAL, &::LocalFree>>;

}  // namespace vorn
