#include "apk/badging-lines.h"

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

}  // namespace

void ParseBadgingLines(std::string_view output, ApkBadging& info) {
  bool package = false, icon = false, activity = false, chineseLabel = false;
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
    }
    if (!icon) icon = QuotedValue(line, "application-icon-240:", &info.iconEntry);
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
