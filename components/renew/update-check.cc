#include "components/renew/update-check.h"

#include "app/web-address.h"
#include "components/renew/update-fetch.h"
#include "platform/ini.h"

namespace lumo::renew {

namespace {

constexpr std::size_t kConfigChars = 260;
constexpr std::size_t kAddressChars = 2048;

}  // namespace

std::string DescriptionAddress(const std::string& programDir) {
  std::string cfglog = programDir + "/cfglog.ini";
  std::string url = platform::ReadProfileString(cfglog, "config", "updateUrl", "", kAddressChars);
  if (!url.empty()) return url;
  std::string home = platform::ReadProfileString(cfglog, "config", "homeUrl", "", kAddressChars);
  std::string origin = WebOrigin(home);
  return origin.empty() ? std::string() : origin + "/update/renew.json";
}

std::string InstalledVersion(const std::string& programDir) {
  std::string version = platform::ReadProfileString(programDir + "/config.ini", "config", "version",
                                                    "1.0.0", kConfigChars);
  return IsVersion(version) ? version : "0";
}

CheckResult CheckForUpdate(const std::string& url, const std::string& installedVersion) {
  CheckResult result;
  std::string text;
  if (url.empty()) {
    result.error = "no update address is configured";
  } else if (!FetchText(url, kMaxDescriptionBytes, &text, &result.error)) {
    result.error = "cannot fetch " + url + ": " + result.error;
  } else if (!ParseUpdateDescription(text, &result.description, &result.error)) {
    result.error = "the update description is refused: " + result.error;
  } else if (CompareVersions(result.description.version, installedVersion) <= 0) {
    result.kind = CheckResult::Kind::kUpToDate;
  } else if (!result.description.hasArchive) {
    result.error = "the update description names no archive";
  } else {
    result.kind = CheckResult::Kind::kNewer;
  }
  return result;
}

}  // namespace lumo::renew
