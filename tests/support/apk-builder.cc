#include "tests/support/apk-builder.h"

#include <memory>

#include <zip.h>

#include "platform/process.h"

namespace lumo::test {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

}  // namespace

bool PatchManifestText(const std::string& apkPath, const std::string& from, const std::string& to) {
  if (from.size() != to.size()) return false;
  int code = 0;
  Archive archive(zip_open(apkPath.c_str(), 0, &code));
  if (!archive) return false;
  std::string manifest = UnzipEntry(apkPath, "AndroidManifest.xml");
  auto widen = [](const std::string& text) {
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    return wide;
  };
  std::size_t at = manifest.find(widen(from));
  if (at == std::string::npos) return false;
  manifest.replace(at, from.size() * 2, widen(to));
  // libzip copies the buffer only at zip_close, so it must outlive the archive's writing.
  zip_source_t* source = zip_source_buffer(archive.get(), manifest.data(), manifest.size(), 0);
  if (!source || zip_file_add(archive.get(), "AndroidManifest.xml", source, ZIP_FL_OVERWRITE) < 0) {
    zip_source_free(source);
    return false;
  }
  if (zip_close(archive.get()) != 0) return false;
  (void)archive.release();  // zip_close has freed it
  return true;
}

std::string UnzipEntry(const std::string& apkPath, const std::string& entry) {
  platform::ProcessOutput out =
      platform::RunProcess({"/usr/bin/unzip", "-p", apkPath, entry}, 64 << 20);
  return out.exitCode == 0 ? out.text : std::string();
}

}  // namespace lumo::test
