#pragma once
// The run-time error an action raises, for tests of failure paths (the unit tests and the
// Windows self-test alike: no test framework here).

#include <cstdint>
#include <string>
#include <utility>

#include "platform/error.h"

namespace pel::test {

// The error `action` raised, or one numbered 0 ("no error raised") when it raised none; any
// other exception passes through.
template <class F>
Error Raised(F&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "no error raised");
}

// The number of the error `action` raised (0 for none), its description into `description`.
template <class F>
int32_t ErrorNumberOf(F&& action, std::string* description = nullptr) {
  const Error e = Raised(std::forward<F>(action));
  if (description) *description = e.Description();
  return e.Number();
}

}  // namespace pel::test
