#include "ui/catalogue-notice.h"

#include <gtk/gtk.h>

#include "app/log.h"
#include "toolkit/controls.h"
#include "ui/main-frame.h"

namespace lumo {

void ShowCatalogueNotice(MainFrame& window, const std::string& keptPath) {
  GtkWidget* notice = window.FindControl("catalogueNotice");
  if (!notice) return;
  std::string name = keptPath.substr(keptPath.find_last_of('/') + 1);
  toolkit::SetText(notice, "游戏列表文件已损坏，无法读取。原文件已保存为 " + name +
                               "，并已新建游戏列表。（点击关闭）");
  if (!g_object_get_data(G_OBJECT(notice), "lumo-connected")) {
    g_signal_connect(notice, "clicked", G_CALLBACK(gtk_widget_hide), nullptr);
    g_object_set_data(G_OBJECT(notice), "lumo-connected", GINT_TO_POINTER(1));
  }
  gtk_widget_show(notice);
  Log::instance()->write("catalogue notice shown: %s", keptPath.c_str());
}

}  // namespace lumo
