#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/window.h"

namespace lumo {

using platform::LParam;
using platform::WindowHandle;
using platform::WParam;

// Runs on the UI thread, from the receiving window's message procedure.
using DispatchHandler = std::function<void(WParam wParam, LParam lParam)>;

// Hands work to the UI thread: a numbered message goes to every window registered for it.
// The map's lock is never held while a message is posted, sent or handled, so a handler may
// register, post or send.
class Dispatcher {
 public:
  static std::shared_ptr<Dispatcher> instance();

  void Register(std::uint32_t messageId, WindowHandle window, DispatchHandler handler);
  void Unregister(std::uint32_t messageId, WindowHandle window);
  // Asynchronous, with both parameters 0.
  void Post(std::uint32_t messageId);
  // Synchronous: returns after every registered window has run its handler (or was gone), so
  // pointers in the parameters need only live for the call. Yields how many handlers ran.
  int Send(std::uint32_t messageId, WParam wParam, LParam lParam);
  // Synchronous, handing over `value`: the one handler that calls TakeOwned owns it; what no
  // handler took is freed when the send returns. lParam travels as it is.
  template <typename T>
  int SendOwned(std::uint32_t messageId, std::unique_ptr<T> value, LParam lParam = 0);
  // Synchronous, one hand-over for many values: every registered window receives each value,
  // in order, as its own `messageId` message, exactly as SendOwned would deliver it; what no
  // handler took is freed when the send returns. Yields how many handler calls ran.
  template <typename T>
  int SendOwnedBatch(std::uint32_t messageId, std::vector<std::unique_ptr<T>> values);
  // In a handler of a SendOwned message: the value, once; empty for a second taker.
  template <typename T>
  static std::unique_ptr<T> TakeOwned(WParam wParam);
  // UI thread: runs the first handler of `window` for the id; false when it has none.
  bool Dispatch(WindowHandle window, std::uint32_t messageId, WParam wParam, LParam lParam);

 private:
  // What a batch send carries to each window: the message and the wParam of each value.
  struct Batch {
    std::uint32_t messageId;
    std::vector<WParam> parcels;
  };
  int SendBatch(const Batch& batch);

  struct Entry {
    WindowHandle window;
    DispatchHandler handler;
  };
  std::vector<Entry> Snapshot(std::uint32_t messageId);

  std::mutex mutex_;
  std::map<std::uint32_t, std::vector<Entry>> handlers_;
};

template <typename T>
int Dispatcher::SendOwned(std::uint32_t messageId, std::unique_ptr<T> value, LParam lParam) {
  // The parcel lives on the sender's stack: Send returns only after every handler has run.
  std::unique_ptr<T> parcel = std::move(value);
  return Send(messageId, reinterpret_cast<WParam>(&parcel), lParam);
}

template <typename T>
int Dispatcher::SendOwnedBatch(std::uint32_t messageId, std::vector<std::unique_ptr<T>> values) {
  // As with SendOwned, the parcels live on the sender's stack until every handler has run.
  std::vector<std::unique_ptr<T>> parcels = std::move(values);
  Batch batch{messageId, {}};
  batch.parcels.reserve(parcels.size());
  for (std::unique_ptr<T>& parcel : parcels)
    batch.parcels.push_back(reinterpret_cast<WParam>(&parcel));
  return SendBatch(batch);
}

template <typename T>
std::unique_ptr<T> Dispatcher::TakeOwned(WParam wParam) {
  if (!wParam) return nullptr;
  return std::move(*reinterpret_cast<std::unique_ptr<T>*>(wParam));
}

}  // namespace lumo
