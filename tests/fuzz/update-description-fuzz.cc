// Any text the store may send as an update description, and any bytes as an update archive:
// reading never crashes, and what is accepted keeps to the bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include <zip.h>

#include "app/web-address.h"
#include "components/renew/update-archive.h"
#include "components/renew/update-description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo::renew;
  std::string text(reinterpret_cast<const char*>(data), size);
  UpdateDescription description;
  std::string error;
  if (ParseUpdateDescription(text, &description, &error)) {
    if (!IsVersion(description.version) || description.notes.size() > kMaxNotesBytes)
      __builtin_trap();
    if (description.hasArchive &&
        (!lumo::IsWebAddress(description.url) || description.size > kMaxArchiveBytes ||
         description.sha256.size() != 64))
      __builtin_trap();
  }
  // A safe name never climbs: no leading "/" and no ".." step.
  if (IsSafeMemberName(text) &&
      (text[0] == '/' || text == ".." || text.rfind("../", 0) == 0 ||
       text.find("/../") != std::string::npos || text.size() >= 3 && text.ends_with("/..")))
    __builtin_trap();
  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &zipError);
  zip_t* archive =
      source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zipError) : nullptr;
  if (archive) {
    CheckArchive(archive, &error);
    zip_discard(archive);
  } else if (source) {
    zip_source_free(source);
  }
  zip_error_fini(&zipError);
  return 0;
}
