#include "components/renew/update-description.h"

#include <cctype>
#include <memory>
#include <vector>

#include <json/json.h>

#include "app/web-address.h"

namespace lumo::renew {

namespace {

constexpr int kMaxVersionParts = 4;
constexpr std::size_t kMaxPartDigits = 9;

std::vector<std::uint32_t> VersionParts(const std::string& text) {
  std::vector<std::uint32_t> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = text.find('.', start);
    std::string part =
        text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty() || part.size() > kMaxPartDigits) return {};
    for (char c : part)
      if (c < '0' || c > '9') return {};
    parts.push_back(static_cast<std::uint32_t>(std::stoul(part)));
    if (parts.size() > kMaxVersionParts) return {};
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

bool ParseJson(const std::string& text, Json::Value* root) {
  Json::CharReaderBuilder builder;
  builder["stackLimit"] = 32;
  builder["failIfExtra"] = true;
  builder["rejectDupKeys"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  // The reader throws when the nesting limit is reached; nothing the server sends may escape.
  try {
    return reader->parse(text.data(), text.data() + text.size(), root, &errors);
  } catch (const Json::Exception&) {
    return false;
  }
}

bool IsSha256(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// An address with no spaces or control characters, so that it passes to the transfer as it
// was written.
bool IsPlainWebAddress(const std::string& url) {
  if (url.size() > kMaxUrlBytes || !IsWebAddress(url)) return false;
  for (char c : url)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  return true;
}

bool ReadArchive(const Json::Value& root, UpdateDescription* out, std::string* error) {
  const Json::Value& url = root["url"];
  const Json::Value& size = root["size"];
  const Json::Value& sha256 = root["sha256"];
  if (url.isNull() && size.isNull() && sha256.isNull()) return true;
  if (!url.isString() || !IsPlainWebAddress(url.asString())) {
    *error = "url is not an http or https address";
    return false;
  }
  if (!size.isIntegral() || !size.isUInt64() || size.asUInt64() == 0 ||
      size.asUInt64() > kMaxArchiveBytes) {
    *error = "size is not a whole number of bytes within bounds";
    return false;
  }
  if (!sha256.isString() || !IsSha256(sha256.asString())) {
    *error = "sha256 is not 64 hexadecimal digits";
    return false;
  }
  out->hasArchive = true;
  out->url = url.asString();
  out->size = size.asUInt64();
  out->sha256 = sha256.asString();
  for (char& c : out->sha256) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return true;
}

}  // namespace

bool IsVersion(const std::string& text) {
  return !VersionParts(text).empty();
}

int CompareVersions(const std::string& a, const std::string& b) {
  std::vector<std::uint32_t> left = VersionParts(a), right = VersionParts(b);
  left.resize(kMaxVersionParts);
  right.resize(kMaxVersionParts);
  return left < right ? -1 : (right < left ? 1 : 0);
}

bool ParseUpdateDescription(const std::string& text, UpdateDescription* out, std::string* error) {
  Json::Value root;
  if (text.size() > kMaxDescriptionBytes) {
    *error = "the description is too large";
    return false;
  }
  if (!ParseJson(text, &root) || !root.isObject()) {
    *error = "the description is not a JSON object";
    return false;
  }
  UpdateDescription parsed;
  const Json::Value& version = root["version"];
  if (!version.isString() || !IsVersion(version.asString())) {
    *error = "version is not a dotted number";
    return false;
  }
  parsed.version = version.asString();
  const Json::Value& notes = root["notes"];
  if (!notes.isNull() && (!notes.isString() || notes.asString().size() > kMaxNotesBytes)) {
    *error = "notes are not a short text";
    return false;
  }
  if (notes.isString()) parsed.notes = notes.asString();
  if (!ReadArchive(root, &parsed, error)) return false;
  *out = std::move(parsed);
  return true;
}

}  // namespace lumo::renew
