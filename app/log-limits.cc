#include "app/log-limits.h"

#include "platform/file-system.h"

namespace lumo {

bool LineRateLimit::Admit(const void* kind, std::uint64_t* dropped) {
  // Formats are string literals, so the table stays small; a caller that builds formats at
  // run time only loses the table's history.
  constexpr std::size_t kMaxKinds = 1024;
  if (kinds_.size() >= kMaxKinds && !kinds_.count(kind)) kinds_.clear();
  Kind& entry =
      kinds_.try_emplace(kind, Kind{RateLimit(limits_.burst, limits_.perSecond)}).first->second;
  if (!entry.rate.Admit()) {
    ++entry.dropped;
    return false;
  }
  *dropped = entry.dropped;
  entry.dropped = 0;
  return true;
}

CappedLogFile::~CappedLogFile() {
  if (file_) std::fclose(file_);
}

bool CappedLogFile::Open(const std::string& path, std::uint64_t cap) {
  path_ = path;
  cap_ = cap;
  file_ = std::fopen(path.c_str(), "ab");
  size_ = 0;
  if (file_) platform::RegularFileSize(path, &size_);
  return file_ != nullptr;
}

void CappedLogFile::Append(const std::string& bytes) {
  if (!file_) return;
  // Even one line may not pass the cap: its end is cut off.
  std::size_t length = bytes.size() < cap_ ? bytes.size() : static_cast<std::size_t>(cap_);
  if (size_ > 0 && size_ + length > cap_) {
    std::fclose(file_);
    std::rename(path_.c_str(), (path_ + ".1").c_str());
    file_ = std::fopen(path_.c_str(), "ab");
    size_ = 0;
    if (!file_) return;
  }
  std::fwrite(bytes.data(), 1, length, file_);
  std::fflush(file_);
  size_ += length;
}

}  // namespace lumo
