#pragma once

#include <string>

namespace lumo {

// Text is held as UTF-8 std::string. These conversions serve the boundaries that need
// another form: wide (wchar_t) format strings of the log, 16-bit text of the download engine.
// An empty input gives an empty output; invalid sequences become U+FFFD.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
std::u16string Utf8ToUtf16(const std::string& text);

// The locale's narrow encoding is UTF-8 here: characters it cannot hold do not exist, so
// these only repair invalid input.
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);

// Parses a leading decimal integer the way the configuration files are read: leading white
// space and a sign are accepted and reading stops at the first non-digit. False when no digit
// follows.
bool ParseLeadingInt(const std::string& text, int* value);

}  // namespace lumo
