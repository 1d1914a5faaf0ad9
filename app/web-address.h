#pragma once

#include <string>

namespace lumo {

// An http or https address with a host: the only kind of address Lumo fetches or shows.
bool IsWebAddress(const std::string& url);

// The origin of a web address: lower-case scheme and host, and the port unless it is the
// scheme's default ("http://127.0.0.1:18080"). Empty for anything that is not a web address.
std::string WebOrigin(const std::string& url);

}  // namespace lumo
