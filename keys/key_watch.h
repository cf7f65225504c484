// KeyWatch: the change notification that a key object keeps armed between
// its WaitForChange calls — a handle of the key of its own, opened with
// KEY_NOTIFY, and the event that the registry signals — and the wait on it,
// which serves the caller's apartment meanwhile.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "automation/ownership.h"
#include "registry/key_handle.h"

namespace vorn {

class KeyWatch {
 public:
  static constexpr ULONGLONG kForever = ~0ull;

  // TimeoutMs in milliseconds: a whole number from 0 up (0 only checks), or
  // -1 for kForever. Anything else is refused with error 5.
  static ULONGLONG Timeout(const VARIANT& value);

  // True when the key root\path (in view) changed, and false when timeout
  // milliseconds passed without a change. The first wait arms; one that
  // reports a change re-arms before it returns, so that a change made
  // between two waits is reported by the second. A subtree flag other than
  // the armed one arms afresh: the platform keeps a handle's first flag.
  // A missing key is refused with 0x80070002 and a description.
  bool Wait(LONG root, BSTR path, REGSAM view, bool subtree, ULONGLONG timeout);

  // Closes the handle and the event; the next wait arms afresh. Called
  // during a wait (by a call that the wait served), it closes the handle,
  // which ends the wait with an error, and the event once the wait is over.
  void Disarm() noexcept;

 private:
  void Arm(LONG root, BSTR path, REGSAM view, bool subtree);

  unique_hkey key_;
  unique_event event_;
  bool subtree_ = false;
  bool waiting_ = false;
};

}  // namespace vorn
