// The PIC firmware upgrade: the local PIC file and the PIC controls, the
// telnet shell session and the reflash state machine.
#pragma once

#include <memory>
#include <string>

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
  // The version reply after the reflash reports BOOTROM mode (called by the
  // reply dispatcher while picUpgradeState is PIC_UPG_STATE_WAIT_RESET): the
  // terminal does not run its software, so the PIC item has failed.
  void PicRestartedInBootrom();
  // The terminal came back running its software after the preparation pass,
  // not in BOOTROM mode: the reflash cannot go on, and the chain ends.
  void PicPrepRestartMissed();

  // Shell session and state machine
  void telnetShell_DataArrival(long bytesTotal);
  void telnetShell_Error(long number, const std::string& description);
  void tmrTelnetConnect_Timer();
  void UPG_PicUpgradeFailed(const std::string& reason);
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
  // Outputs of pic_data_show that told nothing about the battery, counted
  // by the data events that ended a line, in one battery check of the
  // reflash pass.
  int picDataWaitCount = 0;
  // What the shell has answered in the current state so far: a result may
  // come in several data events, and the states that decide on a result
  // wait until its line is complete (PIC_UPG_STATE_LOGGEDIN needs both the
  // result of `cd` and of the copy of the saved descriptor; after the
  // reflash command the line that has not ended waits here).
  std::string loggedInText;
  // PIC_UPG_STATE_PREP_CHK_IMG asked whether a saved descriptor is already
  // on the terminal (an earlier pass that stopped after saving it).
  bool prepSavedCheck = false;
  // PIC_UPG_STATE_RECOVER_IMG printed image.txt to see whether it still is
  // the PIC file's descriptor (the one to remove) before removing it.
  bool reflashImageCheck = false;

  // The warning that every PIC upgrade confirmation shows: the long one when
  // the terminal or the image is of the platform that powers off after a
  // reflash.
  std::string PicUpgradeWarning() const;

 private:
  // Session layer
  void OpenShellSession(const std::string& trapLabel);
  void SendShellLine(const std::string& command);
  void SetPicState(long state);
  void LogReceived(const std::string& label, const std::string& text);
  void OnConnectState(const std::string& text);
  void OnUserNameState(const std::string& text);
  void OnPasswordState(const std::string& text);
  void StartWatchdog();
  void StopWatchdog();
  // A failure of the PIC item: its timers stop (so that nothing re-enters
  // while the caller's message box is up) and the whole chain ends.
  void EndPicChain(const std::string& reason);

  // The answer of the shell in states 4 to 8 and 13 to 15: collected
  // across data events and handed to the state once it can decide.
  void OnScriptAnswer(long state, const std::string& chunk);

  // Preparation pass (states 4 to 8)
  void OnPrepLoggedIn(const std::string& text);
  void OnPrepCheckBattery(const std::string& text);
  void OnPrepCheckImage(const std::string& text);
  // The PIC file goes in place of image.txt (state 8 next).
  void PrepPutPicDescriptor();
  void OnPrepBackupImage(const std::string& text);
  void OnPrepCreateImage(const std::string& text);
  void PrepBatteryStop();

  // Reflash pass (states 13 to 18)
  void OnLoggedIn(const std::string& text);
  void OnRecoverImage(const std::string& text);
  void OnCheckBattery(const std::string& text);
  void OnBatteryRebootWait(const std::string& text);
  void OnReflashSent(const std::string& chunk);
  void ReflashBatteryStop();
  void SetCurrUpgradeState(long state);
  bool PlatformIs(long platformId) const;
};

}  // namespace orvex
