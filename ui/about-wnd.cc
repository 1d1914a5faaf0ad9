#include "ui/about-wnd.h"

#include "app/settings.h"
#include "app/web-address.h"
#include "toolkit/browser.h"
#include "toolkit/controls.h"

namespace lumo {

namespace {

constexpr int kInitialSize = 100;

// A page of the store's web site.
std::string StorePageUrl(const std::string& path) {
  // The store's own scheme is kept: a store served over https keeps its pages on https.
  std::string origin = WebOrigin(CfgHomeUrl());
  return (origin.empty() ? std::string(kDefaultStoreHost) : origin) + path;
}

}  // namespace

void AboutWnd::Run(toolkit::SkinWindow* owner) {
  AboutWnd dialog;
  toolkit::WindowStyle style;
  style.resizable = false;
  style.dialog = true;
  style.showInTaskbar = false;
  // The window grows from this to the size its skin asks for.
  if (!dialog.Create(owner, "AboutWnd", style, kInitialSize, kInitialSize)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
}

void AboutWnd::InitWindow() {
  if (GtkLabel* version = FindLabel("lbVersion"))
    toolkit::SetText(GTK_WIDGET(version), "版本 " + ConfigVersion());
  AttachShadow();
}

void AboutWnd::OnClick(const toolkit::Notification& n) {
  if (n.sender == "btn_close")
    Close(0);
  else if (n.sender == "btn_agreement")
    toolkit::OpenInUsersBrowser(StorePageUrl("/static/agreement.html"));
  else if (n.sender == "btn_copyright")
    toolkit::OpenInUsersBrowser(StorePageUrl("/static/edition.html"));
}

}  // namespace lumo
