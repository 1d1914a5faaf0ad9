#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "app/messages.h"
#include "platform/window.h"

namespace lumo {

using platform::WindowHandle;

// What a handler of a Message<Payload> is given: the sender's value, to read; for an owned
// record the sender's pointer itself, to move from (a handler after the taker finds it empty).
template <typename Payload>
struct HandlerOf {
  using Type = std::function<void(const Payload& value)>;
};
template <typename T>
struct HandlerOf<std::unique_ptr<T>> {
  using Type = std::function<void(std::unique_ptr<T>& value)>;
};
template <typename Payload>
using Handler = typename HandlerOf<Payload>::Type;
using PostHandler = std::function<void()>;

template <typename Payload>
inline constexpr bool kIsOwned = false;
template <typename T>
inline constexpr bool kIsOwned<std::unique_ptr<T>> = true;

// Hands work to the UI thread: a message goes to every window registered for it, where its
// handler runs on the UI thread. Sends are synchronous and carry the sender's value itself,
// checked against the message's type at both ends; posts carry nothing and return at once.
// The map's lock is never held while a message is posted, sent or handled, so a handler may
// register, post or send.
class Dispatcher {
 public:
  static std::shared_ptr<Dispatcher> instance();

  // Any thread. A window has one handler per message; a later one for the same id is unused.
  void Register(std::uint32_t postId, WindowHandle window, PostHandler handler);
  template <typename P>
  void Register(const Message<P>& message, WindowHandle window, Handler<P> handler) {
    Add(message.id, window, std::any(std::move(handler)));
  }
  void Unregister(std::uint32_t messageId, WindowHandle window);
  template <typename P>
  void Unregister(const Message<P>& message, WindowHandle window) {
    Unregister(message.id, window);
  }

  // Asynchronous, through each window's message procedure, which hands it to Dispatch.
  void Post(std::uint32_t postId);
  // UI thread: runs the post handler of `window` for the id; false when it has none.
  bool Dispatch(WindowHandle window, std::uint32_t postId);

  // Any thread; returns after every registered window has run its handler with `value`, or
  // was gone or went away before its handler started, so `value` need only live for the call.
  // From the UI thread the handlers run at once. Yields how many handlers ran.
  template <typename P>
  int Send(const Message<P>& message, const std::type_identity_t<P>& value);
  // As Send, to the one window `window`; false when its handler did not run.
  template <typename P>
  bool SendTo(const Message<P>& message, WindowHandle window, const std::type_identity_t<P>& value);
  // As Send, handing over `value`: the one handler that moves it out owns it; what no handler
  // took is freed when the send returns.
  template <typename T>
  int SendOwned(const OwnedMessage<T>& message, std::type_identity_t<std::unique_ptr<T>> value);
  // One hand-over for many values: every registered window receives each value, in order,
  // exactly as SendOwned would deliver it. Yields how many handler calls ran.
  template <typename T>
  int SendOwnedBatch(const OwnedMessage<T>& message, std::vector<std::unique_ptr<T>> values);

 private:
  struct Entry {
    WindowHandle window;
    std::any handler;  // a PostHandler, or the Handler<P> of the message's Payload
  };
  void Add(std::uint32_t messageId, WindowHandle window, std::any handler);
  std::vector<WindowHandle> Windows(std::uint32_t messageId);
  // UI thread: a copy of the handler `window` has now for the id; empty when it has none.
  std::any Find(std::uint32_t messageId, WindowHandle window);
  // UI thread: runs the handler `window` has now for the message with `value`; 1 when it ran.
  template <typename P, typename V>
  int Call(const Message<P>& message, WindowHandle window, V& value);
  // Any thread: runs `deliver` on the UI thread for each window registered for the id, one
  // after the other, and returns when each has run or its window went away. `deliver`
  // yields how many handlers it ran; the sum is returned.
  using Delivery = std::function<int(WindowHandle window)>;
  int DeliverToEach(std::uint32_t messageId, const Delivery& deliver);
  static int DeliverTo(WindowHandle window, const Delivery& deliver);

  std::mutex mutex_;
  std::map<std::uint32_t, std::vector<Entry>> handlers_;
};

template <typename P, typename V>
int Dispatcher::Call(const Message<P>& message, WindowHandle window, V& value) {
  std::any found = Find(message.id, window);
  auto* handler = std::any_cast<Handler<P>>(&found);
  if (!handler) return 0;
  (*handler)(value);
  return 1;
}

template <typename P>
int Dispatcher::Send(const Message<P>& message, const std::type_identity_t<P>& value) {
  static_assert(!kIsOwned<P>, "a record is handed over with SendOwned");
  return DeliverToEach(message.id,
                       [&](WindowHandle window) { return Call(message, window, value); });
}

template <typename P>
bool Dispatcher::SendTo(const Message<P>& message, WindowHandle window,
                        const std::type_identity_t<P>& value) {
  static_assert(!kIsOwned<P>, "a record is handed over with SendOwned");
  return DeliverTo(window, [&](WindowHandle to) { return Call(message, to, value); }) > 0;
}

template <typename T>
int Dispatcher::SendOwned(const OwnedMessage<T>& message,
                          std::type_identity_t<std::unique_ptr<T>> value) {
  // `value` lives on this stack until every handler has run; what is left in it dies here.
  return DeliverToEach(message.id,
                       [&](WindowHandle window) { return Call(message, window, value); });
}

template <typename T>
int Dispatcher::SendOwnedBatch(const OwnedMessage<T>& message,
                               std::vector<std::unique_ptr<T>> values) {
  return DeliverToEach(message.id, [&](WindowHandle window) {
    int ran = 0;
    for (std::unique_ptr<T>& value : values) ran += Call(message, window, value);
    return ran;
  });
}

}  // namespace lumo
