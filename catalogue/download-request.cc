#include "catalogue/download-request.h"

#include <cctype>
#include <memory>

#include <json/json.h>

namespace lumo {

namespace {

// Pages send a few hundred bytes; anything far larger is not a download request.
constexpr std::size_t kMaxRequestBytes = std::size_t{64} * 1024;

bool ReadMember(const Json::Value& object, const char* name, std::string* out) {
  const Json::Value& value = object[name];
  if (value.isNull()) {
    out->clear();
  } else if (value.isBool()) {
    *out = value.asBool() ? "true" : "false";
  } else if (value.isString()) {
    *out = value.asString();
  } else {
    return false;
  }
  return true;
}

bool ReadCheck(const Json::Value& object, DownloadCheck* check) {
  const Json::Value& size = object["size"];
  if (!size.isNull()) {
    if (!size.isIntegral() || !size.isInt64() || size.asInt64() < 0) return false;
    check->size = size.asInt64();
  }
  const Json::Value& sha256 = object["sha256"];
  if (!sha256.isNull()) {
    if (!sha256.isString() || sha256.asString().size() != 64) return false;
    std::string hex = sha256.asString();
    for (char& c : hex) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    check->sha256 = hex;
  }
  return true;
}

}  // namespace

bool ParseDownloadRequest(const std::string& json, AppItemInfo* record, DownloadCheck* check) {
  if (json.size() > kMaxRequestBytes) return false;
  Json::CharReaderBuilder builder;
  builder["allowComments"] = true;
  // Nesting is bounded so that a hostile page cannot exhaust the stack.
  builder["stackLimit"] = 64;
  builder["failIfExtra"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  // The reader throws, not fails, when the nesting limit is reached; nothing a page sends may
  // escape as an exception.
  try {
    if (!reader->parse(json.data(), json.data() + json.size(), &root, &errors)) return false;
  } catch (const Json::Exception&) {
    return false;
  }
  if (!root.isObject()) return false;
  AppItemInfo parsed = *record;
  if (!ReadMember(root, "packageName", &parsed.packageName) ||
      !ReadMember(root, "appName", &parsed.appName) ||
      !ReadMember(root, "imageUrl", &parsed.imageUrl) ||
      !ReadMember(root, "apkUrl", &parsed.apkUrl) ||
      !ReadMember(root, "detailUrl", &parsed.detailUrl))
    return false;
  DownloadCheck parsedCheck;
  if (!ReadCheck(root, &parsedCheck)) return false;
  *record = std::move(parsed);
  if (check) *check = parsedCheck;
  return true;
}

}  // namespace lumo
