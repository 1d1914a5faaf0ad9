#include "app/dispatcher.h"

#include "platform/ui-loop.h"

namespace lumo {

namespace {

// The window message that carries a batch; no window registers a handler for it.
constexpr std::uint32_t kBatchMessage = 0x7fff0001;

}  // namespace

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

int Dispatcher::SendBatch(const Batch& batch) {
  int handled = 0;
  for (const Entry& entry : Snapshot(batch.messageId)) {
    if (platform::SendWindowMessage(entry.window, kBatchMessage, reinterpret_cast<WParam>(&batch),
                                    0))
      handled += static_cast<int>(batch.parcels.size());
  }
  return handled;
}

bool Dispatcher::Dispatch(WindowHandle window, std::uint32_t messageId, WParam wParam,
                          LParam lParam) {
  LUMO_CHECK_UI_THREAD();
  if (messageId == kBatchMessage) {
    // UI thread: one hand-over, then each value as its own message, in order.
    const auto* batch = reinterpret_cast<const Batch*>(wParam);
    bool handled = false;
    for (WParam parcel : batch->parcels) handled = Dispatch(window, batch->messageId, parcel, 0);
    return handled;
  }
  for (const Entry& entry : Snapshot(messageId)) {
    if (entry.window == window) {
      entry.handler(wParam, lParam);
      return true;
    }
  }
  return false;
}

}  // namespace lumo
