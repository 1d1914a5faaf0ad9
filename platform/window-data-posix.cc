#include <map>
#include <mutex>
#include <utility>

#include "platform/window-data.h"
#include "platform/window.h"

namespace lumo::platform {

namespace {

std::mutex acceptedMutex;
// Only ids a window accepted travel as data; everything else that looks like data is dropped.
std::map<std::pair<WindowHandle, std::uint32_t>, WindowDataProc> accepted;

}  // namespace

void AcceptWindowData(WindowHandle window, std::uint32_t msg, WindowDataProc proc) {
  std::lock_guard<std::mutex> lock(acceptedMutex);
  if (proc)
    accepted[{window, msg}] = std::move(proc);
  else
    accepted.erase({window, msg});
}

bool PostDataToTopLevelWindow(const std::string& className, const std::string& title,
                              std::uint32_t msg, const std::string& data) {
  if (data.size() > kMaxWindowData) return false;
  return SendWindowDatagram(className, title, EncodeWindowData(msg, data));
}

bool DeliverWindowData(WindowHandle window, const char* bytes, std::size_t size) {
  std::uint32_t msg = 0;
  std::string data;
  if (!ParseWindowData(bytes, size, &msg, &data)) return false;
  WindowDataProc proc;
  {
    std::lock_guard<std::mutex> lock(acceptedMutex);
    auto it = accepted.find({window, msg});
    if (it != accepted.end()) proc = it->second;
  }
  // Called outside the lock: the procedure may accept or refuse ids itself.
  if (proc && IsMessageWindow(window)) proc(data);
  return true;
}

}  // namespace lumo::platform
