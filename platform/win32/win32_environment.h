#pragma once
// pel::Environment from the process environment block and the module file name.

#include "platform/environment.h"

namespace pel {

class Win32Environment : public Environment {
 public:
  std::optional<std::string> Get(const std::string& name) override;
  // GetTempPathW's folder; when that is a bare drive root, %LOCALAPPDATA%\Temp\ instead.
  std::string UserTempFolder() override;
  // %LOCALAPPDATA%\Pelmira\, made when missing: kept over sign-outs and clean-ups that empty
  // the temporary folder (Remote Desktop deletes it at sign-out, Storage Sense purges it).
  // Refused (pel::Error 70) when it is a link or junction, or it or the folder above it is not
  // this user's.
  std::string StateFolder() override;
  void Notice(std::string_view line) override;
  std::string ProgramFolder() override;
  std::string ExecutableBaseName() override;
  char Separator() override { return '\\'; }

 private:
  std::wstring ModulePath();
};

}  // namespace pel
