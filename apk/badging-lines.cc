#include "apk/badging-lines.h"

#include <algorithm>

#include "apk/package-name.h"

namespace lumo {

namespace {

constexpr std::string_view kBlanks = " \t\v\f";

bool IsBlank(char c) {
  return kBlanks.find(c) != std::string_view::npos;
}

// `key` then one blank then "name='" then a run of non-blanks: the name is that run up to its
// last quote, so it ends at the last quote before the next blank.
bool NamedValue(std::string_view line, std::string_view key, std::string* field) {
  if (line.substr(0, key.size()) != key || line.size() <= key.size() || !IsBlank(line[key.size()]))
    return false;
  std::string_view rest = line.substr(key.size() + 1);
  constexpr std::string_view kName = "name='";
  if (rest.substr(0, kName.size()) != kName) return false;
  rest.remove_prefix(kName.size());
  rest = rest.substr(0, rest.find_first_of(kBlanks));
  std::size_t quote = rest.rfind('\'');
  if (quote == std::string_view::npos || quote == 0) return false;
  *field = rest.substr(0, quote);
  return true;
}

// `key` then a quote: the value runs to the last quote of the line and is not empty.
bool QuotedValue(std::string_view line, std::string_view key, std::string* field) {
  if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '\'')
    return false;
  std::string_view rest = line.substr(key.size() + 1);
  std::size_t quote = rest.rfind('\'');
  if (quote == std::string_view::npos || quote == 0) return false;
  *field = rest.substr(0, quote);
  return true;
}

// An attribute of the "package:" line after its name, as in " versionName='1.2'": the value
// runs to the next quote. A version far longer than any real one is not taken.
void PackageAttribute(std::string_view line, std::string_view attribute, std::string* field) {
  constexpr std::size_t kMaxValue = 128;
  std::string key = " " + std::string(attribute) + "='";
  std::size_t at = line.find(key);
  if (at == std::string_view::npos) return;
  std::string_view rest = line.substr(at + key.size());
  std::size_t quote = rest.find('\'');
  if (quote != std::string_view::npos && quote <= kMaxValue) *field = rest.substr(0, quote);
}

// "application-icon-<dpi>:": the density, or -1 for another line.
int IconDensity(std::string_view line, std::string_view* rest) {
  constexpr std::string_view kIcon = "application-icon-";
  if (line.substr(0, kIcon.size()) != kIcon) return -1;
  std::size_t at = kIcon.size();
  int density = 0;
  for (; at < line.size() && at < kIcon.size() + 5 && line[at] >= '0' && line[at] <= '9'; ++at)
    density = density * 10 + (line[at] - '0');
  if (at == kIcon.size() || at >= line.size() || line[at] != ':') return -1;
  *rest = line.substr(at + 1);
  return density;
}

// The density closest to hdpi wins, the ones above it first: a larger picture scales down
// cleanly where a smaller one blurs.
bool BetterDensity(int candidate, int best) {
  constexpr int kWanted = 240;
  if (best < 0) return true;
  bool candidateAbove = candidate >= kWanted, bestAbove = best >= kWanted;
  if (candidateAbove != bestAbove) return candidateAbove;
  return candidateAbove ? candidate < best : candidate > best;
}

bool IsAbiName(std::string_view name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) return false;
  return true;
}

// "native-code: 'arm64-v8a' 'x86'": each quoted name that is an ABI name, up to a bound.
void AddNativeCode(std::string_view line, std::vector<std::string>* abis) {
  constexpr std::size_t kMaxAbis = 16;
  for (std::string_view key : {"native-code:", "alt-native-code:", "alternative-native-code:"}) {
    if (line.substr(0, key.size()) != key) continue;
    std::string_view rest = line.substr(key.size());
    for (;;) {
      std::size_t open = rest.find('\'');
      if (open == std::string_view::npos) return;
      std::size_t close = rest.find('\'', open + 1);
      if (close == std::string_view::npos) return;
      std::string_view name = rest.substr(open + 1, close - open - 1);
      if (IsAbiName(name) && abis->size() < kMaxAbis &&
          std::find(abis->begin(), abis->end(), name) == abis->end())
        abis->emplace_back(name);
      rest.remove_prefix(close + 1);
    }
  }
}

}  // namespace

void ParseBadgingLines(std::string_view output, ApkBadging& info) {
  bool package = false, activity = false, chineseLabel = false;
  int iconDensity = -1;
  std::string label;
  bool defaultLabel = false;
  while (!output.empty()) {
    std::size_t end = output.find_first_of("\r\n");
    std::string_view line = output.substr(0, end);
    output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
    std::string name;
    // The first well-formed line of each key counts. A name that is not a package name (a
    // "/" or ".." from a forged manifest) is dropped, so that nothing downstream ever builds
    // a path or a key from it.
    if (!package && NamedValue(line, "package:", &name)) {
      package = true;
      info.packageName = IsValidPackageName(name) ? name : std::string();
      PackageAttribute(line, "versionCode", &info.versionCode);
      PackageAttribute(line, "versionName", &info.versionName);
    }
    std::string_view iconRest;
    int density = IconDensity(line, &iconRest);
    if (density >= 0 && BetterDensity(density, iconDensity) &&
        QuotedValue(iconRest, "", &info.iconEntry))
      iconDensity = density;
    AddNativeCode(line, &info.nativeCode);
    if (!activity) activity = NamedValue(line, "launchable-activity:", &info.launchActivity);
    // Older tools write the Chinese locale as zh_CN, newer ones as zh-CN.
    if (!chineseLabel)
      chineseLabel = QuotedValue(line, "application-label-zh_CN:", &info.label) ||
                     QuotedValue(line, "application-label-zh-CN:", &info.label);
    if (!defaultLabel) defaultLabel = QuotedValue(line, "application-label:", &label);
  }
  if (!chineseLabel && defaultLabel && info.label.empty()) info.label = label;
}

}  // namespace lumo
