#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace lumo {

class WorkerPool;

// Game icons decoded at the size a row draws them, off the UI thread, once. A list that binds
// its rows again as it scrolls asks for the same few icons many times; a file that does not
// decode is noted once, not at every bind. Bounded: past kMost icons the oldest half is let
// go. UI thread only.
class RowIcons {
 public:
  static constexpr std::size_t kMost = 512;
  // Decodes on `jobs`; `ready` is called on the UI thread when icons asked for have been
  // decoded.
  RowIcons(int size, std::shared_ptr<WorkerPool> jobs, std::function<void()> ready);
  ~RowIcons();
  RowIcons(const RowIcons&) = delete;
  RowIcons& operator=(const RowIcons&) = delete;

  // The icon of the file at `path`, owned by this cache until the next call; nullptr when it
  // does not decode or while it is being decoded, and `ready` follows then.
  GdkPixbuf* Get(const std::string& path);
  // A file that has changed on disk is read again at its next Get.
  void Forget(const std::string& path);

 private:
  struct Entry {
    GdkPixbuf* pixbuf;
    unsigned long long used;
  };
  struct Decoded {
    std::string path;
    GdkPixbuf* pixbuf;
    std::string error;
  };
  // One job at a time decodes every icon asked for since the last one started; an icon
  // asked for while it is being decoded waits for that decode.
  void Decode();
  void Keep(std::vector<Decoded>& decoded);
  void Trim();

  const int size_;
  std::shared_ptr<WorkerPool> jobs_;
  std::function<void()> ready_;
  std::unordered_map<std::string, Entry> icons_;
  std::unordered_set<std::string> wanted_;
  // The icons of the job running now, and those of them forgotten since it started, whose
  // decode is let go.
  std::unordered_set<std::string> decoding_;
  std::unordered_set<std::string> stale_;
  unsigned long long clock_ = 0;
  // A job's result that comes back after the cache is gone is let go.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumo
