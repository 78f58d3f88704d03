#pragma once
// Environment variables and well-known folders held in memory; notices are kept, not shown.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "platform/error.h"

namespace pel::fake {

class FakeEnvironment : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) override {
    auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  }
  std::string UserTempFolder() override { return user_temp; }
  std::string StateFolder() override {
    if (state_folder.empty()) throw Error(err::kPathNotFound, "no state folder");
    return state_folder;
  }
  std::string ProgramFolder() override { return program_folder; }
  std::string ExecutableBaseName() override { return base_name; }
  char Separator() override { return separator; }
  void Notice(std::string_view line) override { notices.emplace_back(line); }

  std::map<std::string, std::string> vars;
  std::string user_temp = "/tmp/user-temp/";
  std::string state_folder = "/home/u/.local/state/pelmira/";
  std::string program_folder = "/opt/pelmira";
  std::string base_name = "pelmira";
  char separator = '/';
  std::vector<std::string> notices;
};

}  // namespace pel::fake
