#include "ui/row-icons.h"

#include <algorithm>
#include <vector>

#include "app/log.h"

namespace lumo {

RowIcons::~RowIcons() {
  for (auto& [path, entry] : icons_)
    if (entry.pixbuf) g_object_unref(entry.pixbuf);
}

GdkPixbuf* RowIcons::Get(const std::string& path) {
  auto it = icons_.find(path);
  if (it != icons_.end()) {
    it->second.used = ++clock_;
    return it->second.pixbuf;
  }
  GError* error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_scale(path.c_str(), size_, size_, TRUE, &error);
  if (!pixbuf) {
    Log::instance()->write("image %s does not decode: %s", path.c_str(), error->message);
    g_error_free(error);
  }
  if (icons_.size() >= kMost) Trim();
  icons_[path] = {pixbuf, ++clock_};
  return pixbuf;
}

void RowIcons::Forget(const std::string& path) {
  auto it = icons_.find(path);
  if (it == icons_.end()) return;
  if (it->second.pixbuf) g_object_unref(it->second.pixbuf);
  icons_.erase(it);
}

void RowIcons::Trim() {
  std::vector<unsigned long long> uses;
  uses.reserve(icons_.size());
  for (const auto& [path, entry] : icons_) uses.push_back(entry.used);
  auto middle = uses.begin() + static_cast<std::ptrdiff_t>(uses.size() / 2);
  std::nth_element(uses.begin(), middle, uses.end());
  unsigned long long oldestKept = *middle;
  for (auto it = icons_.begin(); it != icons_.end();) {
    if (it->second.used >= oldestKept) {
      ++it;
      continue;
    }
    if (it->second.pixbuf) g_object_unref(it->second.pixbuf);
    it = icons_.erase(it);
  }
}

}  // namespace lumo
