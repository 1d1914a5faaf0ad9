#include "app/dispatcher.h"

#include "platform/ui-loop.h"

namespace lumo {

std::shared_ptr<Dispatcher> Dispatcher::instance() {
  static std::shared_ptr<Dispatcher> dispatcher = std::make_shared<Dispatcher>();
  return dispatcher;
}

void Dispatcher::Register(std::uint32_t postId, WindowHandle window, PostHandler handler) {
  Add(postId, window, std::any(std::move(handler)));
}

void Dispatcher::Add(std::uint32_t messageId, WindowHandle window, std::any handler) {
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

std::vector<WindowHandle> Dispatcher::Windows(std::uint32_t messageId) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WindowHandle> windows;
  auto it = handlers_.find(messageId);
  if (it != handlers_.end())
    for (const Entry& entry : it->second) windows.push_back(entry.window);
  return windows;
}

std::any Dispatcher::Find(std::uint32_t messageId, WindowHandle window) {
  LUMO_CHECK_UI_THREAD();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handlers_.find(messageId);
  if (it == handlers_.end()) return {};
  for (const Entry& entry : it->second)
    if (entry.window == window) return entry.handler;
  return {};
}

void Dispatcher::Post(std::uint32_t postId) {
  for (WindowHandle window : Windows(postId)) platform::PostWindowMessage(window, postId, 0, 0);
}

bool Dispatcher::Dispatch(WindowHandle window, std::uint32_t postId) {
  LUMO_CHECK_UI_THREAD();
  std::any found = Find(postId, window);
  auto* handler = std::any_cast<PostHandler>(&found);
  if (!handler) return false;
  (*handler)();
  return true;
}

int Dispatcher::DeliverToEach(std::uint32_t messageId, const Delivery& deliver) {
  int ran = 0;
  for (WindowHandle window : Windows(messageId)) ran += DeliverTo(window, deliver);
  return ran;
}

int Dispatcher::DeliverTo(WindowHandle window, const Delivery& deliver) {
  // Written on the UI thread before the send is released, read here after.
  int ran = 0;
  platform::SendWindowCall(window, [&] {
    ran = deliver(window);
    return ran > 0;
  });
  return ran;
}

}  // namespace lumo
