#pragma once
// Sending the requests queued on a Wayland connection, all of them. libwayland-client must not
// be handed another request after a flush that stopped because the socket was full (version
// 1.21 fails the connection, and a round trip then spins), so each batch of requests is
// flushed whole before the next is queued: while the socket is full, the flush waits for the
// compositor to read (poll for room to write) and tries again, never in a busy loop and never
// leaving a request behind.

struct wl_display;

namespace pel {

// Writes every request queued on `display`. False when the connection failed, or when the
// compositor read nothing for `limit_ms` (a hung compositor would otherwise hold the program
// for good): the requests not written are then lost, and the connection must not take more.
bool FlushAll(wl_display* display, int limit_ms);

}  // namespace pel
