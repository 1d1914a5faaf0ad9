#pragma once

#include <cstdint>

// The emulator bridge: Lumo creates one server, hands it an event sink and exchanges numbered
// text messages with the player through it. The player connects to the server's local socket.

// One message. `length` counts the bytes of `data`, normally including its terminating NUL;
// a receiver reads `data` up to its NUL.
struct VmMessage {
  std::uint32_t type;
  std::uint32_t length;
  const char* data;
};

// The server object. Callers use only Send; IsConnected is there for diagnostics.
class VmServer {
 public:
  virtual bool IsConnected() const = 0;
  // Any thread. Sends `length` bytes of `data`; the record need only live for the call. False
  // when no player is connected or the write did not complete within a few seconds (the
  // player is then dropped).
  virtual bool Send(const VmMessage* message) = 0;

 protected:
  ~VmServer() = default;
};

// The event sink. Every operation is called on the bridge's own thread, never on the caller's,
// and returns true.
class ConnetEvent {
 public:
  // A player connected (true). False is reserved for a connection that could not be set up.
  virtual bool OnConnected(bool result) = 0;
  // The player went away: true for an orderly close, false when it was dropped (a bad or
  // truncated frame, a failed write).
  virtual bool OnDisconnected(bool result) = 0;
  virtual bool OnMessage(const VmMessage* message) = 0;

 protected:
  ~ConnetEvent() = default;
};

#define VMBRIDGE_EXPORT __attribute__((visibility("default")))

extern "C" {
// Listens on the per-user local socket named after `name` (a stale socket file is replaced).
// Never returns null: when the socket cannot be made, the server stays unconnected and its
// Send fails. Callbacks may begin before this returns: a player already waiting is reported
// at once.
VMBRIDGE_EXPORT VmServer* br_CreateServer(const char* name, ConnetEvent* events);
// Closes the socket and ends the bridge thread; no callback starts after this returns. A
// callback in progress is waited for, so no callback may wait for the thread that deletes
// the server. Returns 0.
VMBRIDGE_EXPORT int br_DeleteServer(VmServer* server);
}
