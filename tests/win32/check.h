#pragma once
// The report of the Windows test programs: one PASS or FAIL line per check and INFO lines, which
// wine_e2e_test.cpp reads.

#include <cstdio>
#include <string>

namespace pel::wintest {

inline int passed = 0;
inline int failed = 0;

inline void Check(bool ok, const std::string& name, const std::string& detail = {}) {
  ++(ok ? passed : failed);
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ",
              detail.c_str());
  std::fflush(stdout);
}

// An INFO line: a measurement, or why a check could not run here.
inline void Info(const std::string& text) {
  std::printf("INFO %s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace pel::wintest
