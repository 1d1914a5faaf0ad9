#pragma once

// The download engine's published interface: C functions and two byte-packed records with
// 16-bit characters. The engine library exports the functions; Lumo loads it at run time and
// resolves them by name, so only the records and the function types are shared.

#include <cstddef>
#include <cstdint>

extern "C" {

using XlBool = std::int32_t;  // non-zero is true
using XlHandle = void*;       // an engine task; null is no task
using XlChar = char16_t;

enum XlTaskState : std::int32_t {
  kXlNoItem = 0,
  kXlError = 1,
  kXlPaused = 2,
  kXlDownloading = 3,
  kXlComplete = 4,
  kXlStartPending = 5,
  kXlStopPending = 6,
};

#pragma pack(push, 1)

struct DownTaskParam {
  std::int32_t nReserved;
  XlChar szTaskUrl[2084];
  XlChar szRefUrl[2084];
  XlChar szCookies[4096];
  XlChar szFilename[260];
  XlChar szReserved0[260];
  XlChar szSavePath[260];
  std::uint32_t hReserved;
  std::int32_t bReserved;
  XlChar szReserved1[128];
  std::int32_t IsOnlyOriginal;
  std::int32_t nReserved1;
  std::int32_t DisableAutoRename;
  std::int32_t IsResume;
  std::uint32_t reserved[2048];
};

struct DownTaskInfo {
  std::int32_t stat;
  std::int32_t fail_code;
  XlChar szFilename[260];
  XlChar szReserved0[260];
  std::int64_t nTotalSize;
  std::int64_t nTotalDownload;
  float fPercent;
  std::uint8_t reserved0[84];
  std::int32_t nSpeed;
  std::int32_t nSpeedP2S;
  std::int32_t nSpeedP2P;
  std::uint8_t bIsOriginUsable;
  float fHashPercent;
  std::int32_t IsCreatingFile;
  std::uint32_t reserved1[64];
};

#pragma pack(pop)

// Function types, in the order the engine publishes them.
using XlInitFn = XlBool (*)();
using XlUnInitFn = XlBool (*)();
using XlCreateTaskFn = XlHandle (*)(const DownTaskParam* param);
using XlDeleteTaskFn = XlBool (*)(XlHandle task);
using XlStartTaskFn = XlBool (*)(XlHandle task);
using XlStopTaskFn = XlBool (*)(XlHandle task);
using XlQueryTaskInfoFn = XlBool (*)(XlHandle task, DownTaskInfo* info);
using XlQueryTaskInfoExFn = XlBool (*)(XlHandle task, DownTaskInfo* info);
using XlSetSpeedLimitFn = void (*)(std::int32_t kiloBytesPerSecond);
using XlSetUploadSpeedLimitFn = void (*)(std::int32_t tcpKiloBytes, std::int32_t otherKiloBytes);
using XlDelTempFileFn = XlBool (*)(const DownTaskParam* param);
using XlSetProxyFn = XlBool (*)(const void* proxyInfo);
using XlSetUserAgentFn = void (*)(const XlChar* userAgent);
using XlGetFileSizeWithUrlFn = XlBool (*)(const XlChar* url, std::int64_t* size);
using XlParseThunderPrivateUrlFn = XlBool (*)(const XlChar* privateUrl, XlChar* realUrl,
                                              std::int32_t realUrlLength);
using XlSetAdditionInfoFn = XlBool (*)(XlHandle task, const void* info);
using XlSetFileIdAndSizeFn = XlBool (*)(XlHandle task, const char* fileId, std::int64_t size);

// An extension of this engine: XL_SetChangeCallback(fn, context) has `fn(context)` called on
// the engine's own thread, with none of its locks held, each time a task's published state
// changes (started, paused, complete, failed), so that a caller can sleep until a change instead
// of querying on a timer. One callback per engine; null removes it. When the call returns,
// the previous callback is not running and is never called again, so a callback must not set
// the callback itself. Returns false when the engine is not initialised.
using XlChangeFn = void (*)(void* context);
using XlSetChangeCallbackFn = XlBool (*)(XlChangeFn fn, void* context);

// Another extension: XL_SetLogCallback(fn, context) has `fn(context, line)` called on the
// engine's thread, with none of its locks held, for each line the engine has to say about a
// download (a restart from zero, a limit reached, a connection cut for slowness). `line` is
// UTF-8 without an end of line and lives only during the call. Without a callback the lines
// go to the process's standard error. Replacing it follows the rules of the change callback.
using XlLogFn = void (*)(void* context, const char* line);
using XlSetLogCallbackFn = XlBool (*)(XlLogFn fn, void* context);

// A third: XL_Prepare() tells the engine that a download is likely soon, so that what it needs
// to start one is ready when it comes. Returns false when the engine is not initialised.
using XlPrepareFn = XlBool (*)();

}  // extern "C"

// The layout is the engine's published one; a change here breaks every caller.
static_assert(sizeof(XlChar) == 2);
static_assert(sizeof(DownTaskParam) == 26564);
static_assert(offsetof(DownTaskParam, szTaskUrl) == 4);
static_assert(offsetof(DownTaskParam, szFilename) == 16532);
static_assert(offsetof(DownTaskParam, szSavePath) == 17572);
static_assert(offsetof(DownTaskParam, bReserved) == 18096);
static_assert(offsetof(DownTaskParam, IsOnlyOriginal) == 18356);
static_assert(offsetof(DownTaskParam, nReserved1) == 18360);
static_assert(offsetof(DownTaskParam, DisableAutoRename) == 18364);
static_assert(offsetof(DownTaskParam, IsResume) == 18368);
static_assert(sizeof(DownTaskInfo) == 1429);
static_assert(offsetof(DownTaskInfo, stat) == 0);
static_assert(offsetof(DownTaskInfo, fail_code) == 4);
static_assert(offsetof(DownTaskInfo, szFilename) == 8);
static_assert(offsetof(DownTaskInfo, fPercent) == 1064);
static_assert(offsetof(DownTaskInfo, nSpeed) == 1152);
static_assert(offsetof(DownTaskInfo, nSpeedP2S) == 1156);
static_assert(offsetof(DownTaskInfo, nSpeedP2P) == 1160);
