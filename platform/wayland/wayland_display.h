#pragma once
// One connection to a Wayland compositor, shared by the Wayland backends: the globals they bind
// (the seat, the virtual pointer manager) and the outputs with their place in the layout, kept
// up to date from wl_output and xdg-output events. Everything runs on the caller's thread: the
// events are read when a backend asks (ReadEvents), never in the background.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/screens.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zxdg_output_manager_v1;

namespace pel {

class WaylandDisplay {
 public:
  // Connects to `name` (nullptr: $WAYLAND_DISPLAY, else "wayland-0") and reads the globals and
  // the outputs. nullptr, with the reason in `error`, when there is no compositor to reach.
  static std::unique_ptr<WaylandDisplay> Open(const char* name, std::string& error);
  ~WaylandDisplay();
  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  wl_display* Display() const { return display_; }
  // The first seat the compositor offers; nullptr when it offers none.
  wl_seat* Seat() const { return seat_; }
  // The virtual pointer manager (bound at version 1 or 2); nullptr when the compositor does
  // not offer one to this client.
  zwlr_virtual_pointer_manager_v1* VirtualPointerManager() const { return pointer_manager_; }

  // Reads and handles the events that have come, without waiting; a no-op when called again
  // within a millisecond (a playback places the pointer thousands of times a second).
  void ReadEvents();
  // Sends every queued request (see FlushAll). Once a flush has failed the connection is
  // broken: this and every later call return false.
  bool Flush();
  bool Broken() const { return broken_; }
  // Waits until the compositor has handled every request sent so far (a round trip), at most
  // kFlushLimitMs; the events that come meanwhile are handled. False when it did not answer.
  bool Sync();

  // The outputs that have announced themselves, in the order the compositor offered them. The
  // place and size are logical pixels of the layout (xdg-output), in which pointer positions
  // are given; without xdg-output, the output's position and its mode divided by its scale.
  // The first one counts as primary: Wayland has none.
  std::vector<Monitor> Monitors() const;
  // The box around every output, in the same pixels; empty (0 x 0) with no output.
  Monitor LayoutBox() const;
  // Changes whenever an output has come, gone or announced a change.
  uint64_t Generation() const { return generation_; }

  struct Output;  // defined with the listeners

 private:
  explicit WaylandDisplay(wl_display* display);
  void AddOutput(uint32_t name, uint32_t version);
  void WatchLogical(Output& output);
  // Reads what comes within `ms` (0: what is there) and handles the events queued.
  void ReadFor(int ms);

  wl_display* display_;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwlr_virtual_pointer_manager_v1* pointer_manager_ = nullptr;
  zxdg_output_manager_v1* xdg_output_manager_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  uint64_t generation_ = 0;
  int64_t read_at_ = 0;  // steady clock, ns: the last ReadEvents that looked at the socket
  bool broken_ = false;

  friend struct WaylandDisplayListeners;
};

}  // namespace pel
