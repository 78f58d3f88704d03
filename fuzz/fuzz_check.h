#pragma once
// Property checks inside fuzz targets: a broken property stops the run like a crash, so the
// fuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace pel::fuzz {

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace pel::fuzz
