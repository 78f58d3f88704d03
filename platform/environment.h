#pragma once
// The process's surroundings: environment variables and well-known folders.

#include <optional>
#include <string>
#include <string_view>

namespace pel {

class Environment {
 public:
  virtual ~Environment() = default;
  // Value of the variable `name`, or nullopt when it is not set.
  virtual std::optional<std::string> Get(const std::string& name) = 0;
  // The user's own folder for files the program keeps for itself (outline caches), ending in
  // the path separator; never the bare root and never a folder that other users can write.
  virtual std::string UserTempFolder() = 0;
  // The user's own folder for work kept when it could not be saved where it belonged (a
  // recording the program ended with), ending in the path separator; made for this user alone
  // when missing and never reached through a link. Throws pel::Error when there is none.
  virtual std::string StateFolder() = 0;
  // Folder that holds the program file, without a trailing separator.
  virtual std::string ProgramFolder() = 0;
  // Base name of the program file without its extension (for example "pelmira").
  virtual std::string ExecutableBaseName() = 0;
  // Tells the user `line`, something that needs no answer and must not hold up the run
  // (POSIX: standard error; Windows: the debug output).
  virtual void Notice(std::string_view line) = 0;
  // The path separator: '/' on POSIX, '\\' on Windows.
  virtual char Separator() = 0;
};

}  // namespace pel
