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

bool IsHost(const std::string& host, bool bracketed) {
  if (bracketed) {
    if (host.size() < 3 || host.back() != ']') return false;
    for (std::size_t i = 1; i + 1 < host.size(); ++i)
      if (!std::isxdigit(static_cast<unsigned char>(host[i])) && host[i] != ':' && host[i] != '.')
        return false;
    return true;
  }
  if (host.empty()) return false;
  for (char c : host)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
      return false;
  return true;
}

bool IsPort(const std::string& port) {
  if (port.empty() || port.size() > 5) return false;
  for (char c : port)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return std::stoi(port) > 0 && std::stoi(port) < 65536;
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
  // Only a plain host name or address and a port: user names ("http://store@evil") or
  // anything else would let another host pass for the store.
  bool bracketed = !authority.empty() && authority.front() == '[';
  std::size_t hostEnd = bracketed ? authority.find(']') : authority.find(':');
  if (bracketed && hostEnd != std::string::npos) ++hostEnd;
  std::string host = authority.substr(0, hostEnd);
  std::string rest = hostEnd == std::string::npos ? "" : authority.substr(hostEnd);
  if (!IsHost(host, bracketed) || (!rest.empty() && (rest[0] != ':' || !IsPort(rest.substr(1)))))
    return {};
  std::string port = rest.empty() ? "" : rest.substr(1);
  if (port == (scheme == "http" ? "80" : "443")) port.clear();
  return scheme + "://" + host + (port.empty() ? "" : ":" + port);
}

}  // namespace lumo
