// Start-up and shutdown of the main window.
#pragma once

#include <string>

#include "app/part.h"

namespace orvex {

class AppFrame : public Part {
 public:
  explicit AppFrame(Upgrader& up) : Part(up) {}

  void Form_Load();
  void Form_QueryUnload();
  void Form_Unload();
  void mnuFileExit_Click();
  // Unloads the main window: the two unload handlers run and the program ends.
  void UnloadMainWindow();
  // True while an upgrade, a restore or a transfer is under way: closing
  // then could leave the terminal half-upgraded.
  bool UpgradeInProgress() const;
  // True while anything is under way: an upgrade, a request awaiting its
  // connection or reply, an FTP command, or a timer of a running procedure.
  // A front-end that runs one command and ends waits until it is false.
  bool WorkPending() const;
  // Asked before the technician closes the window: true when it may close.
  // While an upgrade runs the technician is asked first; the default is No.
  bool ConfirmClose();
  // The version part of an image name such as orvex_5_1_0_12.bin (5_1_0_12).
  static std::string ImageVersionFromName(const std::string& name);
};

}  // namespace orvex
