// The PIC firmware upgrade: the local PIC file and the PIC controls, the
// telnet shell session and the reflash state machine.
#pragma once

#include <memory>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

class PicUpgrade : public Part {
 public:
  explicit PicUpgrade(Upgrader& up);

  // Local PIC firmware and the PIC controls
  void UI_CheckLocalPICFirmware();
  void UI_EnablePICFunctionality();
  void UI_DisablePICFunctionality(bool bTerminalFieldsToo);
  void UI_InitTermPicFields();

  // Entry points
  void cmdPicUpgradeMenu_Click();
  void UPG_StandalonePICUpgrade();
  void UPG_Prepare4PICUpgrade();
  void Init_PIC_Upgrade();

  // Shell session and state machine
  void telnetShell_DataArrival(long bytesTotal);
  void tmrTelnetConnect_Timer();
  void tmrPicUpgrCnt_Timer();
  void tmrPicUpgResetDelay_Timer();
  void tmr40SecDelay_Timer();

  std::unique_ptr<TcpSocketPort> telnetShell;
  Timer tmrTelnetConnect;
  Timer tmrPicUpgrCnt;
  Timer tmrPicUpgResetDelay;
  Timer tmr40SecDelay;

  int picUpgTickCount = 0;
  bool bPicBattRebootWait = false;
};

}  // namespace orvex
