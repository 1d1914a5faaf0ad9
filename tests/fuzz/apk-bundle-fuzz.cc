// Any bytes as a bundle: reading never crashes, and a bundle that reads has a base, at most
// the capped number of parts, and only part names that stay inside a folder.
//
// Raw bytes rarely make a zip that opens, so an input whose first byte is odd is read as
// entries instead, "name\tcontent" a line each, and zipped first: from no seeds at all the
// fuzzer then reaches the bundle's own rules (its manifest, its part names) and not only the
// archive's header checks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <zip.h>

#include "apk/apk-bundle.h"

namespace {

std::string Zipped(const std::string& lines) {
  zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, nullptr);
  zip_source_keep(memory);
  zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, nullptr);
  std::vector<std::string> contents;
  contents.reserve(lines.size());
  std::size_t start = 0;
  while (archive && start < lines.size()) {
    std::size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    std::string line = lines.substr(start, end - start);
    start = end + 1;
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) continue;
    contents.push_back(line.substr(tab + 1));
    zip_source_t* entry =
        zip_source_buffer(archive, contents.back().data(), contents.back().size(), 0);
    if (entry && zip_file_add(archive, line.substr(0, tab).c_str(), entry, ZIP_FL_OVERWRITE) < 0)
      zip_source_free(entry);
  }
  std::string bytes;
  bool closed = archive && zip_close(archive) == 0;
  if (archive && !closed) zip_discard(archive);
  if (closed && zip_source_open(memory) == 0) {
    char chunk[4096];
    for (zip_int64_t n; (n = zip_source_read(memory, chunk, sizeof chunk)) > 0;)
      bytes.append(chunk, static_cast<std::size_t>(n));
    zip_source_close(memory);
  }
  zip_source_free(memory);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1)) bytes = Zipped(bytes.substr(1));
  lumo::BundleLayout layout;
  std::string error;
  if (!lumo::ReadBundleBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                             &layout, &error))
    return 0;
  if (layout.base.empty() || layout.splits.size() >= lumo::kMaxBundleParts) __builtin_trap();
  for (const std::string& name : layout.splits)
    if (name.empty() || name[0] == '/' || name.rfind("../", 0) == 0 ||
        name.find("/../") != std::string::npos)
      __builtin_trap();
  return 0;
}
