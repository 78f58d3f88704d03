#pragma once
// pel::Environment from the process environment block and the module file name.

#include "platform/environment.h"

namespace pel {

class Win32Environment : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) override;
  // GetTempPathW's folder; when that is a bare drive root, %LOCALAPPDATA%\Temp\ instead.
  std::string UserTempFolder() override;
  // The user's temporary folder: it is the user's own.
  std::string StateFolder() override { return UserTempFolder(); }
  void Notice(std::string_view line) override;
  std::string ProgramFolder() override;
  std::string ExecutableBaseName() override;
  char Separator() override { return '\\'; }

 private:
  std::wstring ModulePath();
};

}  // namespace pel
