#include "ui/row-icons.h"

#include <algorithm>
#include <vector>

#include "app/log.h"
#include "app/worker-pool.h"
#include "platform/ui-loop.h"

namespace lumo {

RowIcons::RowIcons(int size, std::shared_ptr<WorkerPool> jobs, std::function<void()> ready)
    : size_(size), jobs_(std::move(jobs)), ready_(std::move(ready)) {}

RowIcons::~RowIcons() {
  for (auto& [path, entry] : icons_)
    if (entry.pixbuf) g_object_unref(entry.pixbuf);
}

GdkPixbuf* RowIcons::Get(const std::string& path) {
  LUMO_CHECK_UI_THREAD();
  auto it = icons_.find(path);
  if (it != icons_.end()) {
    it->second.used = ++clock_;
    return it->second.pixbuf;
  }
  if (!decoding_.count(path)) {
    wanted_.insert(path);
    Decode();
  }
  return nullptr;
}

void RowIcons::Decode() {
  if (!decoding_.empty() || wanted_.empty()) return;
  std::vector<std::string> paths(wanted_.begin(), wanted_.end());
  decoding_.swap(wanted_);
  std::weak_ptr<bool> alive = alive_;
  int size = size_;
  bool started = jobs_->Run("icon decoder", [this, alive, size, paths] {
    auto decoded = std::make_shared<std::vector<Decoded>>();
    for (const std::string& path : paths) {
      GError* error = nullptr;
      GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_scale(path.c_str(), size, size, TRUE, &error);
      decoded->push_back({path, pixbuf, error ? error->message : ""});
      if (error) g_error_free(error);
    }
    platform::InvokeOnUiThread([this, alive, decoded] {
      if (alive.lock()) {
        Keep(*decoded);
        return;
      }
      for (const Decoded& icon : *decoded)
        if (icon.pixbuf) g_object_unref(icon.pixbuf);
    });
  });
  if (!started) decoding_.clear();
}

void RowIcons::Keep(std::vector<Decoded>& decoded) {
  decoding_.clear();
  for (Decoded& icon : decoded) {
    // Forgotten while it was decoded: its file has changed, and the next Get reads it again.
    if (stale_.erase(icon.path)) {
      if (icon.pixbuf) g_object_unref(icon.pixbuf);
      continue;
    }
    if (!icon.pixbuf)
      Log::instance()->write("image %s does not decode: %s", icon.path.c_str(), icon.error.c_str());
    if (icons_.size() >= kMost) Trim();
    icons_[icon.path] = {icon.pixbuf, ++clock_};
  }
  Decode();
  ready_();
}

void RowIcons::Forget(const std::string& path) {
  if (decoding_.count(path)) stale_.insert(path);
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
