#pragma once
// The run-time error an action raises, for tests of failure paths.

#include <gtest/gtest.h>

#include "platform/error.h"

namespace pel::test {

// The error `action` raised; when it raised none, a test failure and an error numbered 0.
template <class F>
Error Raised(F&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return Error(0, "");
}

}  // namespace pel::test
