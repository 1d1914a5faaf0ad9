// The exported C functions of the download engine. Six of them drive the engine; the others
// are part of the published interface but not offered by this engine, and answer as an
// unsupported call: false, nothing done.

#include "components/xldl/xldl.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "components/xldl/engine.h"

#define XL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex gEngineLock;
std::shared_ptr<xldl::Engine> gEngine;
int gInitCount = 0;

std::shared_ptr<xldl::Engine> CurrentEngine() {
  std::lock_guard<std::mutex> lock(gEngineLock);
  return gEngine;
}

// Reads a fixed-size field that a caller may have left without a terminator.
std::u16string FieldText(const XlChar* field, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && field[length] != 0) ++length;
  return std::u16string(field, length);
}

void AppendUtf8(char32_t c, std::string* out) {
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

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    bool high = c >= 0xD800 && c < 0xDC00;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

std::u16string ToUtf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    char32_t c = extra == 0 ? byte : byte & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += 1 + extra;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

template <std::size_t N>
void CopyField(const std::string& text, XlChar (&field)[N]) {
  std::u16string wide = ToUtf16(text);
  std::size_t length = std::min(wide.size(), N - 1);
  std::copy_n(wide.data(), length, field);
  field[length] = 0;
}

}  // namespace

XL_EXPORT XlBool XL_Init() {
  std::lock_guard<std::mutex> lock(gEngineLock);
  if (gInitCount == 0) {
    auto engine = std::make_shared<xldl::Engine>();
    if (!engine->Start()) return 0;
    gEngine = std::move(engine);
  }
  ++gInitCount;
  return 1;
}

XL_EXPORT XlBool XL_UnInit() {
  std::shared_ptr<xldl::Engine> last;
  {
    std::lock_guard<std::mutex> lock(gEngineLock);
    if (gInitCount == 0) return 0;
    if (--gInitCount == 0) last = std::move(gEngine);
  }
  // Joins the engine thread, which writes the control files of unfinished downloads.
  last.reset();
  return 1;
}

XL_EXPORT XlHandle XL_CreateTask(const DownTaskParam* param) {
  auto engine = CurrentEngine();
  if (!engine || !param) return nullptr;
  xldl::TaskSpec recipe;
  recipe.url = ToUtf8(FieldText(param->szTaskUrl, std::size(param->szTaskUrl)));
  recipe.fileName = ToUtf8(FieldText(param->szFilename, std::size(param->szFilename)));
  recipe.saveFolder = ToUtf8(FieldText(param->szSavePath, std::size(param->szSavePath)));
  return reinterpret_cast<XlHandle>(engine->CreateTask(std::move(recipe)));
}

XL_EXPORT XlBool XL_StartTask(XlHandle task) {
  auto engine = CurrentEngine();
  return engine && engine->StartTask(reinterpret_cast<std::uintptr_t>(task)) ? 1 : 0;
}

XL_EXPORT XlBool XL_StopTask(XlHandle task) {
  auto engine = CurrentEngine();
  return engine && engine->StopTask(reinterpret_cast<std::uintptr_t>(task)) ? 1 : 0;
}

XL_EXPORT XlBool XL_QueryTaskInfo(XlHandle task, DownTaskInfo* info) {
  auto engine = CurrentEngine();
  xldl::TaskSnapshot snapshot;
  if (!engine || !info || !engine->Query(reinterpret_cast<std::uintptr_t>(task), &snapshot)) {
    return 0;
  }
  std::memset(info, 0, sizeof(*info));
  info->stat = snapshot.state;
  info->fail_code = snapshot.failCode;
  CopyField(snapshot.fileName, info->szFilename);
  info->nTotalSize = snapshot.totalLength;
  info->nTotalDownload = snapshot.completedLength;
  info->fPercent = snapshot.totalLength > 0
                       ? static_cast<float>(static_cast<double>(snapshot.completedLength) /
                                            static_cast<double>(snapshot.totalLength))
                       : (snapshot.state == 4 ? 1.0f : 0.0f);
  // One source only: every byte comes from the origin server.
  info->nSpeed = snapshot.speed;
  info->nSpeedP2S = 0;
  info->nSpeedP2P = 0;
  info->bIsOriginUsable = snapshot.state != 1;
  return 1;
}

// Not offered by this engine.
XL_EXPORT XlBool XL_DeleteTask(XlHandle) {
  return 0;
}
XL_EXPORT XlBool XL_QueryTaskInfoEx(XlHandle, DownTaskInfo*) {
  return 0;
}
XL_EXPORT void XL_SetSpeedLimit(std::int32_t) {}
XL_EXPORT void XL_SetUploadSpeedLimit(std::int32_t, std::int32_t) {}
XL_EXPORT XlBool XL_DelTempFile(const DownTaskParam*) {
  return 0;
}
XL_EXPORT XlBool XL_SetProxy(const void*) {
  return 0;
}
XL_EXPORT void XL_SetUserAgent(const XlChar*) {}
XL_EXPORT XlBool XL_GetFileSizeWithUrl(const XlChar*, std::int64_t* size) {
  if (size) *size = 0;
  return 0;
}
XL_EXPORT XlBool XL_ParseThunderPrivateUrl(const XlChar*, XlChar* realUrl, std::int32_t length) {
  if (realUrl && length > 0) realUrl[0] = 0;
  return 0;
}
XL_EXPORT XlBool XL_SetAdditionInfo(XlHandle, const void*) {
  return 0;
}
XL_EXPORT XlBool XL_SetFileIdAndSize(XlHandle, const char*, std::int64_t) {
  return 0;
}
