#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>

namespace lumo {

// What the player says is installed, handed to the UI thread as MSG_PLAYER_PACKAGES.
using PlayerPackages = std::set<std::string>;

// Collects the player's answer to the question which packages it has installed: messages
// whose first line is "+" (more follow) or "." (the last), then one package name a line.
// Names that are not package names are dropped; the list is capped. Bridge thread only.
class PlayerPackageCollector {
 public:
  static constexpr std::size_t kMaxPackages = 100000;

  // Takes one message's text; the whole list once its last message has arrived, else null.
  std::unique_ptr<PlayerPackages> Add(const std::string& text);

 private:
  std::unique_ptr<PlayerPackages> collected_;
};

// The words the detail panel shows for an install result other than 0 from the player.
std::string InstallFailureReason(int code);
// The words for a launch the player could not do.
std::string LaunchFailureReason(int code);

}  // namespace lumo
