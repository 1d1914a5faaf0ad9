#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <gtk/gtk.h>

#include "platform/window.h"

namespace lumo::toolkit {

class Browser;
class ItemTemplate;

// A notification from a control to its window: "click", "selectchanged", "itemselect",
// "menu" (x and y: the pointer in screen coordinates) or "link" (text: the link's target).
struct Notification {
  std::string type;
  std::string sender;
  GtkWidget* control = nullptr;
  // The list item that holds the sender, for controls inside list items.
  GtkWidget* item = nullptr;
  double x = 0;
  double y = 0;
  std::string text;
};

enum class SizeType { kRestored = 0, kMinimized = 1, kMaximized = 2 };

// How a window sits on the desktop; the toolkit's reading of the window styles.
struct WindowStyle {
  bool resizable = true;
  bool showInTaskbar = true;
  bool popup = false;   // menu-like: no task bar entry, kept above others
  bool dialog = false;  // transient for its parent
  // The smallest size the user may resize the window to; 0 leaves it to the content.
  int minWidth = 0;
  int minHeight = 0;
};

// A window laid out from a skin file of the resource archive. Controls are the skin's
// objects, found by name; user actions arrive as notifications; numbered window messages
// reach HandleCustomMessage through the window's message window. UI thread only.
class SkinWindow {
 public:
  SkinWindow();
  virtual ~SkinWindow();
  SkinWindow(const SkinWindow&) = delete;
  SkinWindow& operator=(const SkinWindow&) = delete;

  // Builds the window from its skin and runs InitWindow. False (with a log line) when the
  // skin is missing or does not build.
  bool Create(SkinWindow* parent, const std::string& title, const WindowStyle& style, int width,
              int height);
  // Create for a menu-like window (fixed size, no task bar entry, kept above) placed with its
  // top-left corner at screen point (x, y).
  bool CreatePopup(const std::string& title, int x, int y);
  void CenterWindow();
  void ShowWindow(bool activate = true);
  void HideWindow();
  // Runs a nested loop until the window closes; returns the code given to Close.
  int ShowModal();
  // Asks the window to close: OnClose decides; then it is destroyed.
  void Close(int code = 0);
  // Close, from the main loop's next turn: for handlers that run while GTK still uses the
  // window (a focus change). Once only; later calls do nothing.
  void CloseSoon(int code = 0);
  void MoveTo(int x, int y);
  void SetTitle(const std::string& title);
  // The window's icon from an image of the skin archive.
  void SetIcon(const std::string& imageName);
  void Maximize();
  void Restore();
  void Minimize();
  bool IsMaximized() const;

  // The most recently created live window of a class; null when none is open.
  static SkinWindow* FindByClass(const std::string& className);
  // Whether `window` still exists; signal handlers check it before using the pointer.
  static bool IsAlive(const SkinWindow* window);
  // A shadow around the window where a compositor draws one; nothing otherwise.
  void AttachShadow();

  GtkWindow* window() const { return window_; }
  platform::WindowHandle handle() const { return handle_; }

  // Controls by name and kind; null (and a log line) when missing or of another kind.
  GtkWidget* FindControl(const std::string& name) const;
  GtkButton* FindButton(const std::string& name) const;
  GtkToggleButton* FindCheckBox(const std::string& name) const;
  GtkToggleButton* FindOption(const std::string& name) const;
  GtkLabel* FindLabel(const std::string& name) const;
  GtkEntry* FindEdit(const std::string& name) const;
  GtkNotebook* FindTabLayout(const std::string& name) const;
  GtkListBox* FindList(const std::string& name) const;
  Browser* FindBrowser(const std::string& name) const;
  // A control of a custom kind made by CreateControl.
  GtkWidget* FindCustom(const std::string& name, GType type) const;

  // Builds a list item from a skin file; its controls notify this window.
  GtkWidget* BuildItem(const std::string& skinFile);
  // Delivers a notification as a control would; the test hook uses it.
  void SendNotify(const Notification& notification) { Notify(notification); }

  // Called by the toolkit's signal handlers.
  void DispatchNotify(const Notification& notification);
  bool DispatchCustomMessage(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam);

 protected:
  virtual std::string GetWindowClassName() const = 0;
  virtual std::string GetSkinFile() const = 0;
  virtual void InitWindow() {}
  // Base handling turns "click" into OnClick.
  virtual void Notify(const Notification& notification);
  virtual void OnClick(const Notification&) {}
  // Messages the toolkit does not handle itself; true when handled.
  virtual bool HandleCustomMessage(std::uint32_t, platform::WParam, platform::LParam) {
    return false;
  }
  // False keeps the window open.
  virtual bool OnClose() { return true; }
  virtual void OnDestroy() {}
  // After the window is gone; windows that own themselves delete themselves here.
  virtual void OnFinalMessage() {}
  virtual void OnSize(SizeType, int /*width*/, int /*height*/) {}
  virtual void OnFocusOut() {}
  // Escape: true when the key was used. Dialogs close; the main window overrides.
  virtual bool OnEscape();
  // The builder callback: the widget type for a skin class this window makes itself, or 0.
  virtual GType CreateControl(const std::string& /*className*/) { return 0; }

 private:
  bool BuildSkin(const std::string& file, GtkBuilder** builder, GtkWidget** root);
  bool FindRoot(const std::string& file, GtkBuilder** builder, GtkWidget** root);
  std::string RewriteCustomClasses(const std::string& text);
  void WireControls(GtkBuilder* builder, GtkWidget* item);
  void ConnectSignals();
  void Destroyed();

  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static void OnDestroySignal(GtkWidget*, gpointer self);
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState*, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey*, gpointer self);
  static gboolean OnFocusOutEvent(GtkWidget*, GdkEventFocus*, gpointer self);
  static void OnEdgePressed(GtkGestureMultiPress*, int, double x, double y, gpointer self);
  static gboolean OnCaptionButton(GtkWidget*, GdkEventButton*, gpointer self);
  static gboolean OnCaptionMotion(GtkWidget*, GdkEventMotion*, gpointer self);
  void ReportSize();
  void ReportSizeNow();

  GtkWindow* window_ = nullptr;
  GtkBuilder* builder_ = nullptr;
  GtkWidget* root_ = nullptr;
  platform::WindowHandle handle_ = 0;
  GMainLoop* modalLoop_ = nullptr;
  int modalResult_ = 0;
  bool closingSoon_ = false;
  int lastWidth_ = -1;
  int lastHeight_ = -1;
  SizeType sizeType_ = SizeType::kRestored;
  bool sizePending_ = false;
  // A press on the caption that becomes a move once the pointer is dragged.
  bool moveArmed_ = false;
  double pressX_ = 0;
  double pressY_ = 0;
  std::string className_;
  WindowStyle style_;
  // Item skins by file, made ready on first use.
  std::map<std::string, std::unique_ptr<ItemTemplate>> itemTemplates_;
};

}  // namespace lumo::toolkit
