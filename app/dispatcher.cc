#include "app/dispatcher.h"

namespace lumo {

std::shared_ptr<Dispatcher> Dispatcher::instance() {
  static std::shared_ptr<Dispatcher> dispatcher = std::make_shared<Dispatcher>();
  return dispatcher;
}

void Dispatcher::Register(std::uint32_t messageId, WindowHandle window, DispatchHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_[messageId].push_back(Entry{window, std::move(handler)});
}

void Dispatcher::Unregister(std::uint32_t messageId, WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handlers_.find(messageId);
  if (it == handlers_.end()) return;
  std::erase_if(it->second, [window](const Entry& entry) { return entry.window == window; });
  if (it->second.empty()) handlers_.erase(it);
}

std::vector<Dispatcher::Entry> Dispatcher::Snapshot(std::uint32_t messageId) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handlers_.find(messageId);
  return it == handlers_.end() ? std::vector<Entry>() : it->second;
}

void Dispatcher::Post(std::uint32_t messageId) {
  for (const Entry& entry : Snapshot(messageId))
    platform::PostWindowMessage(entry.window, messageId, 0, 0);
}

int Dispatcher::Send(std::uint32_t messageId, WParam wParam, LParam lParam) {
  int handled = 0;
  for (const Entry& entry : Snapshot(messageId))
    if (platform::SendWindowMessage(entry.window, messageId, wParam, lParam)) ++handled;
  return handled;
}

bool Dispatcher::Dispatch(WindowHandle window, std::uint32_t messageId, WParam wParam,
                          LParam lParam) {
  for (const Entry& entry : Snapshot(messageId)) {
    if (entry.window == window) {
      entry.handler(wParam, lParam);
      return true;
    }
  }
  return false;
}

}  // namespace lumo
