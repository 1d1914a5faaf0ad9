#include "apk/icon-resources.h"

#include <cstdlib>
#include <sstream>

namespace lumo {

namespace {

constexpr std::size_t kMaxLineBytes = 4096;

std::string Trimmed(const std::string& line) {
  std::size_t start = line.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : line.substr(start);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "0x" and eight hex digits.
bool IsResourceId(const std::string& text) {
  return text.size() == 10 && StartsWith(text, "0x") &&
         text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
}

// The value after "key=" up to the next blank.
std::string Field(const std::string& line, const std::string& key) {
  std::size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return {};
  at += key.size() + 2;
  return line.substr(at, line.find(' ', at) - at);
}

// Applies one line of the resource dump to the table; `id` is the resource being listed.
void ReadResourceLine(const std::string& line, std::string* config, std::string* id,
                      ResourceTable* table) {
  if (StartsWith(line, "config ") && EndsWith(line, ":")) {
    *config = line.substr(7, line.size() - 8);
    id->clear();
  } else if (StartsWith(line, "resource ")) {
    std::string candidate = line.substr(9, 10);
    std::string type = Field(line, "t"), data = Field(line, "d");
    id->clear();
    if (!IsResourceId(candidate) || type.size() != 4 || !IsResourceId(data)) return;
    ResourceValue value;
    value.config = *config;
    long kind = std::strtol(type.c_str(), nullptr, 16);
    if (kind >= 0x1c && kind <= 0x1f) {
      value.isColour = true;
      value.argb = static_cast<std::uint32_t>(std::strtoul(data.c_str(), nullptr, 16));
    } else if (kind == 0x01) {
      value.reference = data;
    } else if (kind != 0x03) {
      return;
    }
    *id = candidate;
    (*table)[candidate].push_back(value);
  } else if (!id->empty() &&
             (StartsWith(line, "(string8) \"") || StartsWith(line, "(string16) \""))) {
    std::size_t open = line.find('"');
    if (line.size() > open + 1 && line.back() == '"')
      (*table)[*id].back().file = line.substr(open + 1, line.size() - open - 2);
    id->clear();
  }
}

// Density of a configuration in dpi; 160 for the default, 0 for none or any.
int Density(const std::string& config) {
  static const std::pair<const char*, int> kNamed[] = {
      {"ldpi", 120},   {"mdpi", 160},    {"tvdpi", 213}, {"hdpi", 240}, {"xhdpi", 320},
      {"xxhdpi", 480}, {"xxxhdpi", 640}, {"nodpi", 0},   {"anydpi", 0}};
  std::istringstream steps(config);
  for (std::string step; std::getline(steps, step, '-');) {
    for (const auto& [name, dpi] : kNamed)
      if (step == name) return dpi;
    if (EndsWith(step, "dpi") && step.size() > 3 && step.size() < 8) return std::atoi(step.c_str());
  }
  return 160;
}

bool IsRasterFile(const std::string& entry) {
  return (EndsWith(entry, ".png") && !EndsWith(entry, ".9.png")) || EndsWith(entry, ".webp") ||
         EndsWith(entry, ".jpg") || EndsWith(entry, ".jpeg");
}

}  // namespace

ResourceTable ParseResourceTable(const std::string& dump) {
  ResourceTable table;
  std::string config, id;
  std::size_t start = 0;
  while (start < dump.size()) {
    std::size_t end = dump.find('\n', start);
    if (end == std::string::npos) end = dump.size();
    if (end - start <= kMaxLineBytes) {
      std::string line = Trimmed(dump.substr(start, end - start));
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ReadResourceLine(line, &config, &id, &table);
    }
    start = end + 1;
  }
  return table;
}

bool ParseAdaptiveIconTree(const std::string& tree, AdaptiveLayers* layers) {
  std::istringstream in(tree);
  std::string element;
  bool adaptive = false;
  for (std::string line; std::getline(in, line);) {
    if (line.size() > kMaxLineBytes) continue;
    line = Trimmed(line);
    if (StartsWith(line, "E: ")) {
      element = line.substr(3, line.find(' ', 3) - 3);
      adaptive = adaptive || element == "adaptive-icon";
    } else if (StartsWith(line, "A: android:drawable(") && line.find(")=@") != std::string::npos) {
      std::string value = line.substr(line.find(")=@") + 3, 10);
      if (!IsResourceId(value)) continue;
      if (element == "background") layers->background = value;
      if (element == "foreground") layers->foreground = value;
    }
  }
  return adaptive && !layers->foreground.empty();
}

std::string BestRasterEntry(const ResourceTable& table, const std::string& id) {
  auto found = table.find(id);
  if (found == table.end()) return {};
  const ResourceValue* best = nullptr;
  for (const ResourceValue& value : found->second)
    if (IsRasterFile(value.file) && (!best || Density(value.config) > Density(best->config)))
      best = &value;
  return best ? best->file : std::string();
}

std::string ResourceOfEntry(const ResourceTable& table, const std::string& entry) {
  for (const auto& [id, values] : table)
    for (const ResourceValue& value : values)
      if (value.file == entry) return id;
  return {};
}

}  // namespace lumo
