#pragma once
// One running instance per X server, whatever the display string calls it (":0", "unix:0",
// "localhost:0" and "127.0.0.1:0" may all reach one server): a selection on the server, named
// for the program and the user, owned by a small window of the instance that is never mapped.
// The window carries the name of the instance's hand-over socket, so that a start through
// another display string finds where to hand its file. The server frees the selection when the
// owner's connection closes, however the instance ends.

#include <string>

struct _XDisplay;

namespace pel {

class X11InstanceGuard {
 public:
  X11InstanceGuard() = default;
  // Closes the connection, which gives the selection up.
  ~X11InstanceGuard();
  X11InstanceGuard(const X11InstanceGuard&) = delete;
  X11InstanceGuard& operator=(const X11InstanceGuard&) = delete;

  enum class State {
    Owned,       // this process owns the selection until it ends
    OtherOwner,  // another client owns it
    Failed,      // the display cannot be opened or a request failed
  };
  // Takes the selection on `display` (as XOpenDisplay names it) unless another client owns it,
  // on a connection of its own kept open while owned; the server is grabbed for the look and
  // the take, so two starts never both own it. `channel`: the hand-over socket's name, put on
  // the owner window. OtherOwner sets `owner_channel` to the owner's (empty when it names
  // none); Failed sets `detail` to the call that failed.
  State Claim(const std::string& display, const std::string& channel, std::string& owner_channel,
              std::string& detail);

  // "PELMIRA_INSTANCE_<uid>": the selection's name for this user.
  static std::string SelectionName();

 private:
  _XDisplay* display_ = nullptr;
};

}  // namespace pel
