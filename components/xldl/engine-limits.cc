#include "components/xldl/engine-limits.h"

#include <cstdlib>

namespace xldl {

namespace {

struct Entry {
  const char* name;
  std::int64_t EngineLimits::*field;
};
constexpr Entry kEntries[] = {
    {"XLDL_LOWEST_SPEED", &EngineLimits::lowestSpeed},
    {"XLDL_SLOW_GRACE", &EngineLimits::slowGrace},
    {"XLDL_SLOW_RETRIES", &EngineLimits::slowRetries},
    {"XLDL_LENGTH_CAP", &EngineLimits::lengthCap},
    {"XLDL_FREE_MARGIN", &EngineLimits::freeMargin},
    {"XLDL_SESSION_IDLE", &EngineLimits::sessionIdle},
};

std::int64_t EnvironmentNumber(const char* name, std::int64_t fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  return *end == '\0' && value >= 0 ? value : fallback;
}

}  // namespace

EngineLimits EngineLimits::FromEnvironment() {
  EngineLimits limits;
  for (const Entry& entry : kEntries)
    limits.*entry.field = EnvironmentNumber(entry.name, limits.*entry.field);
  return limits;
}

std::vector<std::string> EngineLimits::AsEnvironment() const {
  std::vector<std::string> entries;
  for (const Entry& entry : kEntries)
    entries.push_back(std::string(entry.name) + "=" + std::to_string(this->*entry.field));
  return entries;
}

}  // namespace xldl
