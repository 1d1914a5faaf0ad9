#pragma once

#include <functional>
#include <string>

#include <gtk/gtk.h>

// Operations on the controls of skin windows: text, visibility, checks, tab pages, position,
// and lists whose items are built from skin files and carry user data. UI thread only.
namespace lumo::toolkit {

void SetVisible(GtkWidget* control, bool visible);
bool IsVisible(GtkWidget* control);
void SetEnabled(GtkWidget* control, bool enabled);
// Labels, buttons, check boxes and edits.
void SetText(GtkWidget* control, const std::string& text);
std::string GetText(GtkWidget* control);
// Checks or clears a check box or option; with notify false no "selectchanged" is raised.
void SetChecked(GtkToggleButton* control, bool checked, bool notify = true);
bool IsChecked(GtkToggleButton* control);
// A control's own flag that its notifications are held back.
bool IsSilenced(GtkWidget* control);

void SelectTab(GtkNotebook* tab, int page);
int CurrentTab(GtkNotebook* tab);
// A notebook sizes every page it has, shown or not, before its window can map. The pages other
// than the current one are left out of that until the window's first frame, then sized a part
// at a time and shown again; one selected before then is shown at once.
void DeferOtherTabs(GtkNotebook* tab);

// Places a floating control at (left, top, right, bottom) inside its overlay or fixed parent.
void SetPos(GtkWidget* control, int left, int top, int right, int bottom);
// An image control shows a file; false when it does not decode (the old image stays).
bool SetImageFile(GtkWidget* image, const std::string& path, int size);

// Lists. ListInsert takes over the reference that SkinWindow::BuildItem returned.
void ListInsert(GtkListBox* list, int index, GtkWidget* item, const std::string& userData);
// The rows a list stands for when it builds only those in view (a RowWindow); ListCount
// reports it.
void SetListRowCount(GtkListBox* list, int count);
void SetItemUserData(GtkWidget* item, const std::string& userData);
// Runs change() with the control's signals kept from its window's listeners.
void SilenceWhile(GtkWidget* control, const std::function<void()>& change);
void ListRemove(GtkListBox* list, GtkWidget* item);
int ListCount(GtkListBox* list);
void ListSelect(GtkListBox* list, int index);
// The user data of the selected item; empty without a selection.
std::string ListCurrentUserData(GtkListBox* list);
GtkWidget* ListCurrentItem(GtkListBox* list);
std::string ItemUserData(GtkWidget* item);
// A named control inside an item built from a skin file.
GtkWidget* ItemControl(GtkWidget* item, const std::string& name);

}  // namespace lumo::toolkit
