#include "components/player/adb-client.h"

namespace runbox {

std::string AdbResult::Why(const std::string& what) const {
  switch (end) {
    case RunEnd::kNotStarted:
      return what + ": adb cannot run";
    case RunEnd::kTimedOut:
      return what + ": adb did not answer in time";
    case RunEnd::kCancelled:
      return what + ": cancelled, the player is closing";
    case RunEnd::kExited:
      break;
  }
  std::string first = output.substr(0, output.find('\n'));
  if (first.size() > 200) first.resize(200);
  return what + " failed (" + std::to_string(exitCode) + "): " + first;
}

Adb::Adb(std::string program, const std::atomic<bool>* cancel)
    : program_(std::move(program)), cancel_(cancel) {
  Find();
}

bool Adb::Find() {
  path_ = FindProgram(program_);
  return found();
}

AdbResult Adb::Run(const std::vector<std::string>& arguments,
                   std::chrono::milliseconds timeout) const {
  AdbResult result;
  if (path_.empty()) return result;
  std::vector<std::string> argv = {path_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  result.end = RunAndCapture(argv, &result.output, &result.exitCode, {timeout, cancel_});
  return result;
}

AdbResult Adb::OnDevice(const std::string& serial, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds timeout) const {
  std::vector<std::string> all = {"-s", serial};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return Run(all, timeout);
}

AdbResult Adb::Shell(const std::string& serial, const std::vector<std::string>& command,
                     std::chrono::milliseconds timeout) const {
  std::vector<std::string> all = {"shell"};
  all.insert(all.end(), command.begin(), command.end());
  return OnDevice(serial, all, timeout);
}

}  // namespace runbox
