#include "platform/ini.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "platform/file-system.h"

namespace lumo::platform {

namespace {

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The file as lines, with line ends (LF or CR LF) removed.
std::vector<std::string> SplitLines(const std::string& data) {
  std::vector<std::string> lines;
  std::istringstream in(data);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// "[name]" yields name; anything else is not a section header.
bool SectionName(const std::string& line, std::string* name) {
  std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return false;
  std::size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(trimmed.substr(1, close - 1));
  return true;
}

// "key=value" yields both, trimmed; comments and lines without '=' are not entries.
bool Entry(const std::string& line, std::string* key, std::string* value) {
  std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return false;
  std::size_t equals = trimmed.find('=');
  if (equals == std::string::npos) return false;
  *key = Trim(trimmed.substr(0, equals));
  *value = Trim(trimmed.substr(equals + 1));
  // A value in matching quotes is read without them.
  if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
      value->back() == value->front())
    *value = value->substr(1, value->size() - 2);
  return true;
}

// Cuts UTF-8 text after `maxChars` characters without splitting a character.
std::string CutToChars(const std::string& text, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == maxChars) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

}  // namespace

std::string ProfileStringIn(const std::string& data, const std::string& section,
                            const std::string& key, const std::string& defaultValue,
                            std::size_t bufferChars) {
  if (bufferChars == 0) return {};
  std::string result = defaultValue;
  bool inSection = false;
  for (const std::string& line : SplitLines(data)) {
    std::string name, entryKey, value;
    if (SectionName(line, &name)) {
      inSection = SameName(name, section);
    } else if (inSection && Entry(line, &entryKey, &value) && SameName(entryKey, key)) {
      result = value;
      break;
    }
  }
  return CutToChars(result, bufferChars - 1);
}

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t bufferChars) {
  std::string data;
  if (!ReadWholeFile(path, &data)) data.clear();
  return ProfileStringIn(data, section, key, defaultValue, bufferChars);
}

std::string WithProfileString(const std::string& data, const std::string& section,
                              const std::string& key, const std::string& value) {
  std::vector<std::string> lines = SplitLines(data);
  const std::string entry = key + "=" + value;

  bool inSection = false, done = false;
  std::size_t sectionEnd = std::string::npos;  // where a new key of the section goes
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    std::string name, entryKey, current;
    if (SectionName(lines[i], &name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) sectionEnd = i + 1;
    } else if (inSection) {
      if (Entry(lines[i], &entryKey, &current) && SameName(entryKey, key)) {
        lines[i] = entry;
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        sectionEnd = i + 1;
      }
    }
  }
  if (!done) {
    if (sectionEnd != std::string::npos) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  // A line break would end the entry early and let the rest pass for other keys or sections.
  if ((key + value).find_first_of("\r\n") != std::string::npos) return false;
  std::string data;
  if (PathExists(path) && !ReadWholeFile(path, &data)) return false;
  return WriteFileAtomically(path, WithProfileString(data, section, key, value));
}

}  // namespace lumo::platform
