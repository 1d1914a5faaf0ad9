#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/process.h"
#include "tests/support/sandbox.h"

namespace lumo::test {

// lumo-adb-device (tests/tools/adb-device.cc) as a child process on a port it picks, stopped
// with the object. A test target that uses it depends on the lumo-adb-device target.
class StandInDevice {
 public:
  // `options` as the tool takes them: "--model=Pixel 8", "--unauthorized", ...
  explicit StandInDevice(const std::vector<std::string>& options = {});
  ~StandInDevice();
  StandInDevice(const StandInDevice&) = delete;
  StandInDevice& operator=(const StandInDevice&) = delete;

  // False when the tool did not start or did not say its port.
  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  // "127.0.0.1:PORT": what "adb connect" takes and what adb then calls the device.
  std::string serial() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// The real adb client with a server of its own: its own port, and its own HOME and TMPDIR
// (adb keeps its key in ~/.android and its log in $TMPDIR), so a test never meets the user's
// server or devices. The server starts with the object and is killed with it.
class PrivateAdb {
 public:
  PrivateAdb();
  ~PrivateAdb();
  PrivateAdb(const PrivateAdb&) = delete;
  PrivateAdb& operator=(const PrivateAdb&) = delete;

  int port() const { return port_; }
  const std::string& home() const { return home_.path(); }
  // Runs "adb ARGS..." against this server; the text is standard output and error together.
  platform::ProcessOutput Run(const std::vector<std::string>& args) const;
  // "NAME=VALUE" settings that make a program which runs adb itself use this server.
  std::vector<std::string> Environment() const;
  // "adb connect" to the device: true when adb says it is connected.
  bool Connect(const StandInDevice& device) const;

 private:
  TempDir home_;
  int port_ = 0;
};

}  // namespace lumo::test
