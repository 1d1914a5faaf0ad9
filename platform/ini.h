#pragma once

#include <cstddef>
#include <string>

namespace lumo::platform {

// Private-profile INI access: section and key names are case-insensitive; a missing file,
// section or key yields the default; a value is cut to `bufferChars - 1` characters; a write
// creates the file and the section when they are missing and keeps everything else; a key or
// value with a line break is refused.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t bufferChars);
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

// The same rules on a file's text: what the read finds in `data`, and the text after a write.
std::string ProfileStringIn(const std::string& data, const std::string& section,
                            const std::string& key, const std::string& defaultValue,
                            std::size_t bufferChars);
std::string WithProfileString(const std::string& data, const std::string& section,
                              const std::string& key, const std::string& value);

}  // namespace lumo::platform
