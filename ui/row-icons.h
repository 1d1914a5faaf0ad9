#pragma once

#include <string>
#include <unordered_map>

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace lumo {

// Game icons decoded once at the size a row draws them. A list that binds its rows again as
// it scrolls asks for the same few icons many times; a file that does not decode is noted
// once, not at every bind. Bounded: past kMost icons the oldest half is let go.
class RowIcons {
 public:
  static constexpr std::size_t kMost = 512;
  explicit RowIcons(int size) : size_(size) {}
  ~RowIcons();
  RowIcons(const RowIcons&) = delete;
  RowIcons& operator=(const RowIcons&) = delete;

  // The icon of the file at `path`, or nullptr when it does not decode; owned by this cache
  // until the next Get or Forget.
  GdkPixbuf* Get(const std::string& path);
  // A file that has changed on disk is read again at its next Get.
  void Forget(const std::string& path);

 private:
  struct Entry {
    GdkPixbuf* pixbuf;
    unsigned long long used;
  };
  void Trim();

  const int size_;
  std::unordered_map<std::string, Entry> icons_;
  unsigned long long clock_ = 0;
};

}  // namespace lumo
