#pragma once
// Unsaved work kept over the end of a session (log-off, shut-down): the recording is written to
// a file in the program's own folder, never over a file the user chose, and the next start says
// where it is.

#include <optional>
#include <string>

#include "engine/entry_list.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace pel {

// The recovery file: "recovered.mmf" in env.UserTempFolder().
std::string RecoveryPath(Environment& env);
// Writes `list` as a motion file to RecoveryPath (replaced whole or not at all; a link there is
// replaced, not followed) and notes it for the next start. Returns the path; throws on failure.
std::string WriteRecovery(const EntryList& list, FileSystem& files, Environment& env);
// The message that says where the last session's recording was kept, when one was written
// since the previous call (each recovery is told once); nullopt otherwise.
std::optional<std::string> TakeRecoveryNotice(FileSystem& files, Environment& env);

}  // namespace pel
