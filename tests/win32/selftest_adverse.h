#pragma once
// Checks of the Windows backends where the system gets in the way (selftest_adverse.cpp).

#include <string>

namespace pel::wintest {

// `dir`: a folder of the test's own, with its separator.
void TestAdverse(const std::string& dir);

}  // namespace pel::wintest
