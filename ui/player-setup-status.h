#pragma once

#include <gtk/gtk.h>

#include "vm/player-setup.h"

namespace lumo {

// The main window's indicator of the player's setup: the download's percentage, the install,
// and after a failure its reason with a retry button; hidden while the player is there. UI
// thread only.
class PlayerSetupStatus {
 public:
  // `box` holds `label` and `retry`; the window's click on `retry` goes to setup.Retry().
  PlayerSetupStatus(GtkWidget* box, GtkLabel* label, GtkWidget* retry, PlayerSetup& setup);
  ~PlayerSetupStatus();
  PlayerSetupStatus(const PlayerSetupStatus&) = delete;
  PlayerSetupStatus& operator=(const PlayerSetupStatus&) = delete;

 private:
  void Show(const PlayerSetupState& state);

  GtkWidget* box_;
  GtkLabel* label_;
  GtkWidget* retry_;
  PlayerSetup& setup_;
};

}  // namespace lumo
