#pragma once
// Switches the whole process (C and C++ locales) to a locale that writes decimal commas, for
// as long as the object lives. scripts/install-deps.sh generates de_DE.UTF-8 for these tests.

#include <clocale>
#include <locale>
#include <string>

namespace pel::test {

class CommaLocale {
 public:
  CommaLocale() : old_c_(std::setlocale(LC_ALL, nullptr)) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
      if (std::setlocale(LC_ALL, name)) {
        old_global_ = std::locale::global(std::locale(name));
        active_ = true;
        return;
      }
  }
  ~CommaLocale() {
    if (!active_) return;
    std::locale::global(old_global_);
    std::setlocale(LC_ALL, old_c_.c_str());
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // False when no such locale is installed (the process is unchanged then).
  bool Active() const { return active_; }
  static constexpr const char* kMissing =
      "no decimal-comma locale installed: run scripts/install-deps.sh as root";

 private:
  std::string old_c_;
  std::locale old_global_;
  bool active_ = false;
};

}  // namespace pel::test
