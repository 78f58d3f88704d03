#pragma once
// The mouse of the whole X display as an event stream, through the RECORD extension: the server
// hands over a copy of every core pointer event as it processes it (whichever client it goes to,
// grabs included), with the root position and the server's time. XInput2's raw events, which
// the key and button latch uses, carry no position (raw motion is the device's own deltas) and
// no motion at all for warps, so they cannot place an event. Buttons are physical, as XTest
// injects them; buttons 4 to 7 are wheel notches, 8 and 9 the side buttons. Times are mapped
// onto pel::Clock (x11_server_time.h). Xlib stays out of this header.

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/input_events.h"
#include "platform/x11/x11_server_time.h"

struct _XDisplay;

namespace pel {

class X11InputEvents : public InputEvents {
 public:
  // Opens two display connections of its own (RECORD delivers on one that carries nothing
  // else); `display_name` as for XOpenDisplay, nullptr meaning $DISPLAY. nullptr, with the
  // failing call named in `error`, when the display cannot be opened or lacks RECORD.
  static std::unique_ptr<X11InputEvents> Open(const char* display_name, Clock& clock,
                                              std::string& error);
  ~X11InputEvents() override;
  X11InputEvents(const X11InputEvents&) = delete;
  X11InputEvents& operator=(const X11InputEvents&) = delete;

  // Events on another screen of a multi-screen display are left out: their positions are not
  // this screen's.
  bool Start(bool moves, std::string& error) override;
  void Stop() override;
  // One round trip makes sure that what the server did before the call has been sent; an event
  // the server sends on the other connection only just after its answer comes with the next
  // call.
  void Take(std::vector<InputEvent>& out) override;

  // The connection the events arrive on. It turns readable while they come; a program that
  // watches it may call Take then, and loses nothing if it does not.
  int ConnectionFd() const;

 private:
  X11InputEvents(_XDisplay* control, _XDisplay* data, Clock& clock);
  friend struct RecordedEvent;
  // One event as the server recorded it; `root` the root window it happened on.
  void Received(int type, unsigned detail, int root_x, int root_y, unsigned long root,
                uint32_t stamp);
  // A round trip that brings back the server's time (a property change of a window of ours),
  // for the clock mapping.
  void SyncTime();
  // Reads RECORD's replies until recording has started (`recording`) or ended; false when the
  // server has not said so within kAwaitMs.
  bool Await(bool recording);
  static constexpr int kAwaitMs = 2000;

  _XDisplay* control_;
  _XDisplay* data_;  // RECORD's: nothing but its replies travel on it
  Clock& clock_;
  ServerTime time_;
  unsigned long root_ = 0;
  unsigned long sync_window_ = 0;
  unsigned long sync_atom_ = 0;
  unsigned long context_ = 0;  // the RECORD context while started, else 0
  bool moves_ = false;
  bool recording_ = false;  // between RECORD's start and end of data
  bool on_screen_ = true;   // the pointer is on this screen (see Received)
  struct Stamped {
    InputEvent event;
    uint32_t stamp;
  };
  std::vector<Stamped> received_;  // read, not mapped onto the clock yet
};

}  // namespace pel
