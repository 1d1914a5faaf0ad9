#include "app/device-address.h"

#include <algorithm>
#include <cctype>

namespace lumo {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsPort(std::string_view port) {
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit))
    return false;
  int value = 0;
  for (char c : port) value = value * 10 + (c - '0');
  return value >= 1 && value <= 65535;
}

bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253 || host.front() == '-' || host.front() == '.' ||
      host.back() == '.')
    return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
  });
}

bool IsBracketedIpv6(std::string_view host) {
  if (host.size() < 4 || host.size() > 41 || host.front() != '[' || host.back() != ']')
    return false;
  host = host.substr(1, host.size() - 2);
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
  });
}

}  // namespace

bool IsDeviceAddress(std::string_view address) {
  std::size_t colon = address.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = address.substr(0, colon);
  return IsPort(address.substr(colon + 1)) && (IsHostName(host) || IsBracketedIpv6(host));
}

}  // namespace lumo
