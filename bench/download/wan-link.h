#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace lumo::bench {

// A wide-area link on this machine: two network namespaces, a client's and a server's, each
// with a point-to-point tunnel device, and a forwarder process between the two devices that
// delays every packet by half the round trip and lets through at most `bitsPerSecond` in each
// direction, dropping what would queue longer than a router's buffer. Needs root.
class WanLink {
 public:
  static constexpr const char* kClientAddress = "10.77.0.1";
  static constexpr const char* kServerAddress = "10.77.0.2";

  WanLink(std::chrono::milliseconds roundTrip, std::uint64_t bitsPerSecond);
  ~WanLink();
  WanLink(const WanLink&) = delete;
  WanLink& operator=(const WanLink&) = delete;

  // False, with the reason, when the namespaces or devices cannot be made.
  bool Up(std::string* error);
  // Moves the calling thread (and what it starts later) into the client's or the server's
  // namespace.
  bool EnterClient() const;
  bool EnterServer() const;

 private:
  std::chrono::milliseconds roundTrip_;
  std::uint64_t bitsPerSecond_;
  std::string client_;
  std::string server_;
  bool made_ = false;
  pid_t forwarder_ = -1;
};

}  // namespace lumo::bench
