#pragma once

#include <string>

namespace lumo {

class MainFrame;

// UI thread: tells the user that the game list could not be read and that its file was kept
// aside as `keptPath`. The main window's "catalogueNotice" shows this until it is clicked.
void ShowCatalogueNotice(MainFrame& window, const std::string& keptPath);

}  // namespace lumo
