// KeyWatch: arming a key's change notification, the message-serving wait,
// and re-arming.
#include "keys/key_watch.h"

#include <objbase.h>

#include <algorithm>
#include <climits>
#include <string>

#include "automation/arguments.h"
#include "automation/errors.h"
#include "registry/root_names.h"
#include "registry/service.h"

namespace vorn {

namespace {

// The longest single wait asked of the platform, in milliseconds: longer
// timeouts are waited for in slices (a DWORD would wrap, and 0xFFFFFFFF is
// INFINITE).
constexpr ULONGLONG kLongestSlice = 0x7FFFFFFF;

[[noreturn]] void Refuse(LONG status, LONG root, BSTR path) {
  std::wstring text = L"The key \"" +
                      registry::KeyDisplayName(root, std::wstring_view(path ? path : L"", ::SysStringLen(path))) +
                      L"\"";
  if (status == ERROR_FILE_NOT_FOUND) text += L" does not exist";
  else text += L" cannot be watched (error " + std::to_wstring(status) + L")";
  throw Error(HRESULT_FROM_WIN32(status), text);
}

// Waits until event is signalled (true) or timeout milliseconds have passed
// (false). Clients are single-threaded apartments: the wait serves the calls
// that other apartments make into this thread's objects meanwhile, where a
// bare wait would block them all until it ends.
bool WaitServing(HANDLE event, ULONGLONG timeout) {
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    DWORD slice = INFINITE;
    if (timeout != KeyWatch::kForever) {
      const ULONGLONG elapsed = ::GetTickCount64() - start;
      slice = static_cast<DWORD>(std::min(elapsed >= timeout ? 0 : timeout - elapsed, kLongestSlice));
    }
    DWORD index = 0;
    HRESULT hr = ::CoWaitForMultipleHandles(0, slice, 1, &event, &index);
    if (hr == CO_E_NOTINITIALIZED) {  // a thread outside COM has no calls to serve
      DWORD waited = ::WaitForSingleObject(event, slice);
      hr = waited == WAIT_OBJECT_0  ? S_OK
           : waited == WAIT_TIMEOUT ? RPC_S_CALLPENDING
                                    : HRESULT_FROM_WIN32(::GetLastError());
    }
    if (hr == S_OK) return true;
    if (hr != RPC_S_CALLPENDING) throw Error(hr, L"The wait for a change of the key failed");
    if (slice == 0 || (timeout != KeyWatch::kForever && ::GetTickCount64() - start >= timeout)) return false;
  }
}

}  // namespace

ULONGLONG KeyWatch::Timeout(const VARIANT& value) {
  LONGLONG ms = 0;
  try {
    ms = arguments::Signed(value, -1, LLONG_MAX, L"TimeoutMs");
  } catch (const Error&) {
    throw Error(errors::kInvalidProcedureCall,
                L"TimeoutMs must be a whole number of milliseconds: 0 or more (0 only checks), or -1 to wait "
                L"without limit");
  }
  return ms < 0 ? kForever : static_cast<ULONGLONG>(ms);
}

void KeyWatch::Arm(LONG root, BSTR path, REGSAM view, bool subtree) {
  // A handle of its own: a registration stays with its handle, and the
  // predefined root handles are shared by the whole process.
  unique_hkey key;
  LONG status = registry::OpenKey(root, path, KEY_NOTIFY | view, key);
  if (status != registry::kSuccess) Refuse(status, root, path);
  unique_event event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) throw Error(HRESULT_FROM_WIN32(::GetLastError()), L"No event could be made to wait for a change on");
  status = registry::NotifyChange(key.get(), subtree, event.get());
  if (status != registry::kSuccess) Refuse(status, root, path);
  key_ = std::move(key);
  event_ = std::move(event);
  subtree_ = subtree;
}

bool KeyWatch::Wait(LONG root, BSTR path, REGSAM view, bool subtree, ULONGLONG timeout) {
  if (waiting_)
    throw Error(errors::kInvalidProcedureCall,
                L"This key object is already waiting for a change: a call served during its wait cannot wait too");
  if (key_ && subtree != subtree_) Disarm();
  if (!key_) Arm(root, path, view, subtree);

  struct Waiting {
    KeyWatch& watch;
    ~Waiting() {
      watch.waiting_ = false;
      if (!watch.key_) watch.event_.reset();  // disarmed during the wait
    }
  };
  bool changed = false;
  {
    waiting_ = true;
    Waiting waiting{*this};
    changed = WaitServing(event_.get(), timeout);
  }
  if (!key_)
    throw Error(errors::kInvalidProcedureCall,
                L"The key object's HKEY, Path or View was given another value while it waited for a change");
  // Re-armed before the caller sees the result, so that what the caller
  // reads now is either before the registration or reported by the next
  // call. A key that is gone cannot be re-armed: the next call opens afresh.
  if (changed && registry::NotifyChange(key_.get(), subtree_, event_.get()) != registry::kSuccess) Disarm();
  return changed;
}

void KeyWatch::Disarm() noexcept {
  key_.reset();
  if (waiting_) {
    ::SetEvent(event_.get());  // ends the wait; the event goes when it has ended
    return;
  }
  event_.reset();
}

}  // namespace vorn
