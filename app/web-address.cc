#include "app/web-address.h"

#include <cctype>

namespace lumo {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The scheme in lower case, "" unless it is http or https.
std::string SchemeOf(const std::string& url) {
  std::size_t colon = url.find("://");
  if (colon == std::string::npos) return {};
  std::string scheme = Lower(url.substr(0, colon));
  return scheme == "http" || scheme == "https" ? scheme : "";
}

}  // namespace

bool IsWebAddress(const std::string& url) {
  return !WebOrigin(url).empty();
}

std::string WebOrigin(const std::string& url) {
  std::string scheme = SchemeOf(url);
  if (scheme.empty()) return {};
  std::size_t start = scheme.size() + 3;
  std::size_t end = url.find_first_of("/?#\\", start);
  std::string authority = Lower(url.substr(start, end == std::string::npos ? end : end - start));
  // User names in the address would let "http://store@evil" pass for the store.
  if (authority.empty() || authority.find('@') != std::string::npos) return {};
  for (char c : authority)
    if (std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c)))
      return {};
  std::string defaultPort = scheme == "http" ? ":80" : ":443";
  if (authority.size() > defaultPort.size() &&
      authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) == 0)
    authority.resize(authority.size() - defaultPort.size());
  if (authority.front() == ':') return {};
  return scheme + "://" + authority;
}

}  // namespace lumo
