#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

typedef struct _GtkWidget GtkWidget;

namespace lumo {

// The main window: class "MainFrame", title "Lumo", 1260 by 720.
class MainFrame {
 public:
  static constexpr int kWidth = 1260;
  static constexpr int kHeight = 720;

  MainFrame();
  ~MainFrame();
  MainFrame(const MainFrame&) = delete;
  MainFrame& operator=(const MainFrame&) = delete;

  // Creates the window and runs its initialisation.
  bool Create(std::string* error);
  void CenterAndShow();
  // Shows, restores and raises the window, also when it was hidden.
  void BringToFront();
  // Closes the window as its close button does.
  void Close();

  platform::WindowHandle handle() const { return handle_; }

 private:
  void Init();
  bool HandleMessage(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam);
  void OnDestroy();
  static void OnDestroySignal(GtkWidget* widget, void* self);

  GtkWidget* window_ = nullptr;
  platform::WindowHandle handle_ = 0;
};

}  // namespace lumo
