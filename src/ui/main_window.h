// The main window's engine side: the busy pointer, the enabling and
// disabling of commands and item groups, the frame colours of the upgrade
// stage, and the terminal address.
#pragma once

#include <string>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

struct TransferProgress;

class MainWindow : public Part {
 public:
  explicit MainWindow(Upgrader& up);

  bool SetMouseCursor(long mode);
  void EnableButtons();
  void DisableButtons();
  // While an upgrade or a restore runs, from its confirmation until its last
  // verification or its failure message, the normal pointer gives back the
  // window, File > Exit and Help, but nothing that starts another chain,
  // changes the address or fetches the log. tmrChainLock gives the commands
  // back once the chain has ended.
  bool ChainLocked() const { return chainLocked_; }
  // The commands come back if the chain has ended.
  void ReleaseChainLock();
  Timer tmrChainLock;
  void UI_EnableIBFunctionality();
  void UI_DisableIBFunctionality(bool all);
  void UI_EnableAntennaFunctionality();
  void UI_DisableAntennaFunctionality();
  void UI_InitTermAntennaFields();
  void UI_InitTermIbFields();
  void UI_UpdateUIUpgState(long stage);
  void cmdSetModemIP_Click();
  // False, with a message, when another upgrader holds the terminal at
  // `address`: the address stays as it was.
  bool UpdateModemIPAddress(const std::string& address);
  void cmdAntInfo_Click() {}

  // Each item frame says whether the release differs from what the terminal
  // runs; it follows every version the window shows.
  void ShowItemUpdates();
  // Each item of the chain that has just ended shows its result in its
  // frame: before and after, and done, failed or not verified.
  void ShowItemResults();
  // The next action clears them.
  void ClearItemResults();
  // The transfer bar and its text follow the running transfer and hide at its end.
  void ShowTransfer(const TransferProgress& p);

 private:
  // One of the version boxes that ShowItemUpdates compares.
  static bool IsShownVersion(const std::string& name);

  bool chainLocked_ = false;
};

}  // namespace orvex
