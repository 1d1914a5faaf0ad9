#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace lumo::renew {

// Fetches a small text over http(s) on the calling thread; at most `maxBytes` are accepted.
bool FetchText(const std::string& url, std::size_t maxBytes, std::string* text, std::string* error);

// Called on the downloading thread with the bytes of the file present so far.
using ProgressFn = std::function<void(std::uint64_t have, std::uint64_t total)>;

// Downloads `url` into `path`, which is expected to end at `size` bytes. A file already at
// `path` is taken as the start of the download and continued with a Range request; the
// server may answer with the whole file instead. More than `size` bytes is an error. Stops
// when `cancel` becomes true; what arrived stays for the next attempt.
bool DownloadResumable(const std::string& url, const std::string& path, std::uint64_t size,
                       const std::atomic<bool>& cancel, const ProgressFn& progress,
                       std::string* error);

}  // namespace lumo::renew
