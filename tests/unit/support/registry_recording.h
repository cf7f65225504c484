// The unit tests' binding of the registry seam: every call reaches the real
// registry (of the Wine prefix) unless a fault rule answers it first, and is
// recorded, with a count of the handles that are open.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorn::test {

enum class Fn { OpenKeyEx, CloseKey, EnumKeyEx, EnumValue, QueryValueEx, SetValueEx, DeleteValue, CreateKey, DeleteKey };

struct Call {
  explicit Call(Fn f, std::string n = {}) : fn(f), name(std::move(n)) {}
  Fn fn;
  std::string name;  // sub-key, value name or path, as 8-bit text
  DWORD index = 0;   // enumeration index
  REGSAM access = 0; // OpenKeyEx
  DWORD type = 0;    // SetValueEx
  std::string data;  // SetValueEx
  LONG status = 0;   // what the call returned
};

class Recorder {
 public:
  // A rule sees each call before the registry does; a status it returns is
  // the call's result and the registry is not called.
  using Rule = std::function<std::optional<LONG>(const Call&)>;

  static Recorder& Get();

  // Forgets the calls and the fault rule (open handles are still counted).
  void Reset();
  void SetFault(Rule rule);
  // The nth (1-based) call of fn from now on returns status.
  void FailNth(Fn fn, int nth, LONG status);
  // Every call of fn whose name is name returns status.
  void FailNamed(Fn fn, const std::string& name, LONG status);

  std::vector<Call> Calls() const;
  size_t CountOf(Fn fn) const;
  // Handles opened or created and not yet closed.
  int OpenHandles() const;

  // Used by the binding.
  std::optional<LONG> Intercept(const Call& call);
  void Record(Call call);
  void HandleOpened();
  void HandleClosed();

 private:
  struct State;
  State& state() const;
};

}  // namespace vorn::test
