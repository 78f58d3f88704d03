#pragma once
// Event pump and environment substitutes.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/environment.h"
#include "platform/error.h"
#include "platform/events.h"

namespace pel::fake {

class FakeEvents : public EventPump {
 public:
  void DoEvents() override {
    ++calls;
    if (on_events) on_events();
  }
  int calls = 0;
  // Runs at every DoEvents: stands for the ticks and clicks that the real loop would run.
  std::function<void()> on_events;
};

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
