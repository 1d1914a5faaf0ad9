#include "app/strings.h"

#include <cctype>
#include <climits>

namespace lumo {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalar(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void AppendUtf8(char32_t c, std::string* out) {
  if (!IsScalar(c)) c = kReplacement;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at `i`, advancing it; malformed input yields U+FFFD.
char32_t NextUtf8(const std::string& text, std::size_t* i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(*i);
  int extra;
  char32_t c;
  if (lead < 0x80) {
    ++*i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    c = lead & 0x07;
  } else {
    ++*i;
    return kReplacement;
  }
  ++*i;
  for (int k = 0; k < extra; ++k, ++*i) {
    if (*i >= text.size() || (byte(*i) & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (byte(*i) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  return c < kMin[extra] || !IsScalar(c) ? kReplacement : c;
}

}  // namespace

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == 2) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      char32_t c = static_cast<char16_t>(text[i]);
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        char32_t low = static_cast<char16_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
      AppendUtf8(c, &out);
    }
  } else {
    for (wchar_t c : text) AppendUtf8(static_cast<char32_t>(c), &out);
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = NextUtf8(text, &i);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = NextUtf8(text, &i);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string WideToAnsi(const std::wstring& text) {
  return WideToUtf8(text);
}

std::wstring AnsiToWide(const std::string& text) {
  return Utf8ToWide(text);
}

bool ParseLeadingInt(const std::string& text, int* value) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  long long result = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    result = result * 10 + (text[i] - '0');
    if (result > static_cast<long long>(INT_MAX) + 1) result = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) result = -result;
  if (result > INT_MAX) result = INT_MAX;
  if (result < INT_MIN) result = INT_MIN;
  *value = static_cast<int>(result);
  return true;
}

}  // namespace lumo
