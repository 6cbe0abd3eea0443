// The PIC upgrade after the login: the preparation pass (battery check,
// saving image.txt, the PIC file in its place, restart), the reflash pass
// (descriptor back, battery check, reflash command), the watchdog and the
// waits for the terminal's restart.
#include <algorithm>

#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "ui/main_window.h"
#include "zing/zing_channel.h"

namespace orvex {

namespace {

constexpr const char* kOk = "value = 0 = 0x0";
constexpr const char* kFailed = "value = -1 = 0xffffffff";
constexpr const char* kDone = "value = ";
constexpr const char* kUpgraderTitle = "ORVEX Upgrader";
constexpr const char* kRebootCommand = "pwd;sleep(4);reboot";
// Unrecognised pic_data_show outputs tolerated before the check gives up.
constexpr int kMaxPicDataWaits = 10;
// At most this much of the shell's answer to the descriptor copy is kept
// while waiting for both of its results.
constexpr size_t kLoggedInTextMax = 16000;

enum class Battery { GoOn, Present, Wait };

// A PIC that cannot report its data is taken as having no battery.
Battery BatteryTest(const std::string& text) {
  if (Contains(text, "FAIL") || Contains(text, "BATT_PRESENT=0") || Contains(text, "ERROR"))
    return Battery::GoOn;
  if (Contains(text, "BATT_PRESENT=1")) return Battery::Present;
  return Battery::Wait;
}

// The results ("value = ...") in text whose line has ended, or that the
// prompt follows: a result cut by the end of a data event is not counted.
int CompleteResults(const std::string& text) {
  // A result is complete when a line end or a prompt starts after it: after
  // the last of them, no result is. One pass over the text.
  const size_t lineEnd = text.find_last_of("\r\n");
  const size_t prompt = text.rfind("->");
  size_t last = 0;
  bool any = false;
  for (size_t p : {lineEnd, prompt})
    if (p != std::string::npos) {
      last = any ? std::max(last, p) : p;
      any = true;
    }
  if (!any) return 0;
  int n = 0;
  const size_t length = std::string(kDone).size();
  for (size_t at = text.find(kDone); at != std::string::npos && at + length <= last;
       at = text.find(kDone, at + 1))
    ++n;
  return n;
}

// Text that is no more than (a piece of) the prompt that ends an answer.
bool OnlyPrompt(const std::string& text) {
  return text.find_first_not_of("-> \r\n") == std::string::npos;
}

// The shell's print of image.txt (the text before its result) names a
// software image: its first line that is not blank starts with /bin/. The
// prompt that ended the answer before may come first.
bool NamesSoftwareImage(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(at, end - at));
    if (StartsWith(line, "->")) line = Trim(line.substr(2));
    if (!line.empty()) return StartsWith(line, "/bin/");
    at = end + 1;
  }
  return false;
}

}  // namespace

void PicUpgrade::OnScriptAnswer(long state, const std::string& chunk) {
  loggedInText += chunk;
  if (loggedInText.size() > kLoggedInTextMax)
    loggedInText.erase(0, loggedInText.size() - kLoggedInTextMax);
  // The battery checks look for their marker in all that came, and act on
  // it once the result of pic_data_show has ended too: the rest of its
  // answer must not be read as the answer to the next command. An output
  // without a marker counts once its line has ended. The other states
  // decide on results whose lines have ended.
  const bool battery = state == PIC_UPG_STATE_PREP_CHECK_BATT || state == PIC_UPG_STATE_CHECK_BATT;
  const int needed = state == PIC_UPG_STATE_LOGGEDIN ? 2 : 1;
  bool ready = CompleteResults(loggedInText) >= needed;
  if (battery && BatteryTest(loggedInText) == Battery::Wait)
    ready = chunk.find('\n') != std::string::npos;
  if (!ready) return;
  const std::string text = loggedInText;
  switch (state) {
    case PIC_UPG_STATE_PREP_LOGGEDIN: OnPrepLoggedIn(text); break;
    case PIC_UPG_STATE_PREP_CHECK_BATT: OnPrepCheckBattery(text); break;
    case PIC_UPG_STATE_PREP_CHK_IMG: OnPrepCheckImage(text); break;
    case PIC_UPG_STATE_PREP_BKUP_IMG: OnPrepBackupImage(text); break;
    case PIC_UPG_STATE_PREP_CREATE_XIMG: OnPrepCreateImage(text); break;
    case PIC_UPG_STATE_LOGGEDIN: OnLoggedIn(text); break;
    case PIC_UPG_STATE_RECOVER_IMG: OnRecoverImage(text); break;
    case PIC_UPG_STATE_CHECK_BATT: OnCheckBattery(text); break;
    default: break;
  }
  // A complete answer that did not move the state on is done with: the
  // next one is judged by itself.
  if (!battery && st.picUpgradeState == state) loggedInText.clear();
}

bool PicUpgrade::PlatformIs(long platformId) const {
  return st.termPlatformId == platformId || st.pkgPlatformId == platformId;
}

void PicUpgrade::SetCurrUpgradeState(long state) {
  st.currUpgradeState = state;
  Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
}

// ---- Preparation pass ------------------------------------------------------

void PicUpgrade::OnPrepLoggedIn(const std::string& text) {
  if (!Contains(text, kOk)) return;
  LogReceived("cd outcome: ", text);
  SendShellLine("pic_data_show");
  SetPicState(PIC_UPG_STATE_PREP_CHECK_BATT);
  SetStatus("Preparing for PIC-Upgrade.");
  StartWatchdog();
}

void PicUpgrade::OnPrepCheckBattery(const std::string& text) {
  LogReceived("cmd outcome: ", text);
  switch (BatteryTest(text)) {
    case Battery::GoOn:
      LogReceived("cd outcome: ", text);
      SendShellLine("copy \"image.txt\"");
      SetPicState(PIC_UPG_STATE_PREP_CHK_IMG);
      SetStatus("Continuing with PIC-Upgrade.");
      break;
    case Battery::Present:
      LogReceived("PIC UPG FAILURE: ", text);
      PrepBatteryStop();
      break;
    case Battery::Wait:
      Util_LogWrite(DET, "Just waiting for PIC info.");
      Util_LogWrite(DET, "picUpgradeState = " + Util_PicUpgStateName(st.picUpgradeState));
      break;
  }
}

// Nothing on the terminal has changed yet: the PIC item ends here and the
// sequence goes on with what is left.
// The session is closed and the watchdog stopped before the box is shown,
// so that nothing of this pass runs while it is up.
void PicUpgrade::PrepBatteryStop() {
  SetCurrUpgradeState(UPG_STATE_PIC_DONE);
  st.refusal = Refusal::Battery;
  EndPicChain("PIC Upgrade prevented: battery detected.");
  SetStatus("Battery Present. PIC Upgrade prevented.");
  up.ui.SetMouseCursor(0);
  StopWatchdog();
  SetPicState(PIC_UPG_STATE_INIT_CONNECT);
  telnetShell->close();
  MsgBox(
      "PIC Upgrade failure. \r\n\r\n Reason for failure : \r\n     = Battery detected.\r\nPIC "
      "firmware has not been Upgraded.\r\nRemove the Battery and retry the PIC Upgrade.\r\nAlso "
      "refer to the Help menu if needed.\r\n",
      vbOKOnly | vbCritical, kUpgraderTitle);
}

// The descriptor is saved as uimage.txt only when it names a software image
// and no saved one is there yet: a pass that stopped after saving it (or
// after putting the PIC file in its place) must not, when it is run again,
// move the PIC file's descriptor over the saved one. Otherwise the PIC file
// goes in place of image.txt, and the reflash pass puts the saved
// descriptor back (or removes the PIC file's).
void PicUpgrade::OnPrepCheckImage(const std::string& text) {
  if (prepSavedCheck) {
    if (Contains(text, kFailed)) {
      LogReceived("ls outcome: ", text);
      SendShellLine("mv \"image.txt\",\"uimage.txt\"");
      SetPicState(PIC_UPG_STATE_PREP_BKUP_IMG);
      SetStatus("Preparing for PIC-Upgrade..");
      StartWatchdog();
    } else if (Contains(text, kOk)) {
      LogReceived("ls outcome: ", text);
      Util_LogWrite(INF, "A saved image descriptor uimage.txt is already there: it is kept.");
      PrepPutPicDescriptor();
    }
    return;
  }
  if (Contains(text, kOk)) {
    LogReceived("ls outcome: ", text);
    if (!NamesSoftwareImage(text)) {
      Util_LogWrite(INF, "image.txt does not name a software image: it is not saved.");
      PrepPutPicDescriptor();
      return;
    }
    // The terminal has a descriptor: keep it as uimage.txt, unless a saved
    // one is there already.
    prepSavedCheck = true;
    SendShellLine("copy \"uimage.txt\"");
  } else if (Contains(text, kFailed)) {
    LogReceived("ls outcome: ", text);
    PrepPutPicDescriptor();
  }
}

void PicUpgrade::PrepPutPicDescriptor() {
  SendShellLine("copy \"pic.s19\",\"image.txt\"");
  SetPicState(PIC_UPG_STATE_PREP_CREATE_XIMG);
  SetStatus("Preparing for PIC-Upgrade...");
  StartWatchdog();
}

void PicUpgrade::OnPrepBackupImage(const std::string& text) {
  if (!Contains(text, kOk)) return;
  LogReceived("mv outcome: ", text);
  SendShellLine("copy \"pic.s19\",\"image.txt\"");
  SetPicState(PIC_UPG_STATE_PREP_CREATE_XIMG);
  SetStatus("Preparing for PIC-Upgrade....");
  StartWatchdog();
}

// With the PIC file as its descriptor the terminal restarts in BOOTROM mode;
// the version reply that reports it opens the reflash pass.
void PicUpgrade::OnPrepCreateImage(const std::string& text) {
  if (!Contains(text, kDone)) return;
  LogReceived("creat outcome: ", text);
  SetPicState(PIC_UPG_STATE_PREP_REBOOT);
  up.zing.tmrFiveSecDelayedReset.setEnabled(true);
  SetStatus("Restart terminal prior to PIC reflash.");
  telnetShell->close();
  SetStatus("PIC Upgrade will continue after Restart. Please Do-Not Interrupt !");
}

// ---- Reflash pass ----------------------------------------------------------

// The line sent was `cd "/tffs0/"; copy "uimage.txt"`: the choice between
// removing the PIC file's descriptor and putting the saved one back needs
// both results, however the shell splits its answer.
void PicUpgrade::OnLoggedIn(const std::string& text) {
  if (Contains(text, kFailed)) {
    // No saved descriptor: the terminal had none before the upgrade, or an
    // earlier reflash pass already put it back. Only the PIC file's
    // descriptor is removed: image.txt is looked at first.
    LogReceived("cd outcome: ", text);
    SendShellLine("copy \"image.txt\"");
    SetPicState(PIC_UPG_STATE_RECOVER_IMG);
    reflashImageCheck = true;
    SetStatus("Recovering Image..");
    StartWatchdog();
  } else if (Contains(text, kOk)) {
    LogReceived("cd/copy outcome: ", text);
    SendShellLine("mv \"uimage.txt\", \"image.txt\"");
    SetPicState(PIC_UPG_STATE_RECOVER_IMG);
    SetStatus("Recovering Image...");
    StartWatchdog();
  }
  // Two results that are neither: keep waiting; the watchdog bounds it.
}

void PicUpgrade::OnRecoverImage(const std::string& text) {
  LogReceived("cd outcome: ", text);
  if (!Contains(text, kDone)) return;
  if (reflashImageCheck) {
    if (Contains(text, kOk) && NamesSoftwareImage(text)) {
      Util_LogWrite(INF, "image.txt names a software image: it is kept.");
    } else {
      SendShellLine("rm \"image.txt\"");
      SetPicState(PIC_UPG_STATE_RECOVER_IMG);
      StartWatchdog();
      return;
    }
  }
  SetPicState(PIC_UPG_STATE_CHECK_BATT);
  picDataWaitCount = 0;
  SendShellLine("pic_data_show");
  SetStatus("Checking Battery presence.");
}

void PicUpgrade::OnCheckBattery(const std::string& text) {
  LogReceived("cmd outcome: ", text);
  switch (BatteryTest(text)) {
    case Battery::GoOn:
      SendShellLine("pic_driver_reflash 1");
      SetPicState(PIC_UPG_STATE_REFLASH_SENT);
      SetStatus("Sending PIC reflash command.");
      StartWatchdog();
      // The terminal restarts after the reflash: retry the version requests.
      st.bWaitTermRestart = true;
      st.restartRetryCount = 0;
      break;
    case Battery::Present:
      LogReceived("FAILURE: ", text);
      ReflashBatteryStop();
      break;
    case Battery::Wait:
      ++picDataWaitCount;
      Util_LogWrite(DET, "[" + std::to_string(picDataWaitCount) + "] <<display pic-data: " + text);
      Util_LogWrite(DET, "picUpgradeState = " + Util_PicUpgStateName(st.picUpgradeState));
      if (picDataWaitCount > kMaxPicDataWaits) {
        // The descriptor is back in place: a reboot brings the terminal up
        // with its software, as after a battery stop.
        Util_LogWrite(ERR, "Unexpected PIC data. Upgrade aborted.");
        StopWatchdog();
        // While the box is up the state has no handler: shell output waits.
        EndPicChain("Unexpected PIC data.");
        MsgBox("Unexpected PIC data. PIC Upgrade aborted.", vbOKOnly | vbCritical, kUpgraderTitle);
        SetPicState(PIC_UPG_STATE_BATT_REBOOT_WAIT);
        SendShellLine(kRebootCommand);
      }
      break;
  }
}

// The descriptor is already back: the terminal reboots into its software.
// The box asks for OK before the reboot: until then the state has no
// handler, so that shell output does not take the place of the reboot's.
void PicUpgrade::ReflashBatteryStop() {
  StopWatchdog();
  st.refusal = Refusal::Battery;
  EndPicChain("PIC Upgrade skipped: battery detected.");
  MsgBox(
      "PIC Upgrade failure. \r\n\r\n Reason for failure : \r\n     = Battery detected.\r\nPIC "
      "firmware has not been Upgraded.\r\nRemove the Battery and retry the PIC Upgrade after the "
      "Powerup.\r\nAlso refer to the Help menu if needed.\r\n\r\nClick 'OK' to Restart Modem and "
      "continue.\r\n",
      vbOKOnly | vbCritical, kUpgraderTitle);
  SetPicState(PIC_UPG_STATE_BATT_REBOOT_WAIT);
  SendShellLine(kRebootCommand);
  SetStatus("Battery present, skipping PIC Upgrade.");
}

void PicUpgrade::OnBatteryRebootWait(const std::string& text) {
  if (text.empty()) return;
  LogReceived("cmd outcome: ", text);
  SetPicState(PIC_UPG_STATE_WAIT_RESET);
  Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
  // Only a failure leads here and it has ended the chain: the item is not
  // marked done, or the release information after the restart would report
  // every upgrade complete.
  bPicBattRebootWait = true;
  tmr40SecDelay.setEnabled(true);
  Util_LogWrite(DET, "tmr40SecDelay.Enabled = True");
  SetStatus("Resetting Modem. Please wait ...");
}

void PicUpgrade::OnReflashSent(const std::string& chunk) {
  // The terminal reports in lines: a line is judged once it has ended,
  // however the shell cut it.
  loggedInText += chunk;
  if (loggedInText.size() > kLoggedInTextMax)
    loggedInText.erase(0, loggedInText.size() - kLoggedInTextMax);
  const size_t end = loggedInText.rfind('\n');
  if (end == std::string::npos) return;
  const std::string text = loggedInText.substr(0, end + 1);
  loggedInText.erase(0, end + 1);
  if (!PlatformIs(8) && !PlatformIs(9)) {
    // Older platforms report nothing useful: the first line ends the
    // dialogue. The prompt that ended the battery check's answer is none.
    if (OnlyPrompt(text)) return;
    if (Contains(text, kOk)) LogReceived("Reflash: ", text);
    SetPicState(PIC_UPG_STATE_WAIT_RESET);
    telnetShell->close();
    SetStatus("Modem will Restart after PIC Upgrade. Please Do Not Interrupt !");
    tmrPicUpgResetDelay.setEnabled(true);
    SetCurrUpgradeState(UPG_STATE_PIC_DONE);
    return;
  }

  LogReceived("Reflash: ", text);
  if (Contains(text, "PIC Reflash Completed")) {
    telnetShell->close();
    tmrPicUpgResetDelay.setEnabled(true);
    SetPicState(PIC_UPG_STATE_WAIT_RESET);
    SetCurrUpgradeState(UPG_STATE_PIC_DONE);
    SetStatus(PlatformIs(9) ? "Modem will Restart after PIC Upgrade. Please Do Not Interrupt !"
                            : "Modem will Power Off after PIC Upgrade. Please Do Not Interrupt !");
  } else if (Contains(text, "FAIL")) {
    LogReceived("FAILURE: ", text);
    // Not the state that waits for the restart: the version reply after it
    // must not report this upgrade as successful. The dialogue is over, so
    // the watchdog stops too.
    StopWatchdog();
    telnetShell->close();
    EndPicChain("The terminal reported a failed PIC reflash.");
    SetPicState(PIC_UPG_STATE_INIT_CONNECT);
    MsgBox(
        "PIC Upgrade failure. \r\n\r\n Possible reasons for failure : \r\n     = Battery only "
        "operation.\r\n     = Corrupt PIC firmware.\r\n\r\nPIC firmware has not been "
        "Upgraded.\r\nPlease refer to the Help menu if needed.\r\n\r\nClick 'OK' to Restart Modem "
        "and continue.\r\n",
        vbOKOnly | vbCritical, kUpgraderTitle);
    SetStatus("Modem will Restart momentarily. Please Do Not Interrupt !");
    up.zing.tmrFiveSecDelayedReset.setEnabled(true);
  } else if (Contains(text, "Recovery Mode")) {
    SendShellLine("");
    Util_LogWrite(DET,
                  "Recovery-Mode: picUpgradeState = " + Util_PicUpgStateName(st.picUpgradeState));
    SetStatus("Continuing PIC reflash ..");
  } else {
    Util_LogWrite(VRB, "PIC-Upgrade progressing ...");
  }
}

// ---- Timers ----------------------------------------------------------------

// The watchdog of both passes: it keeps ticking until stopped, and its 11th
// tick since the count was last reset ends the upgrade.
void PicUpgrade::tmrPicUpgrCnt_Timer() {
  Util_LogWrite(VRB, ">> tmrPicUpgrCnt_Timer()");
  ++picUpgTickCount;
  if (picUpgTickCount <= 10) return;
  tmrPicUpgrCnt.setEnabled(false);
  up.ui.SetMouseCursor(0);
  // Closed before the message box, so that no late shell output is handled
  // while the box is up.
  telnetShell->close();
  EndPicChain("PIC Upgrade stalled: the terminal's shell did not finish in time.");
  SetPicState(PIC_UPG_STATE_INIT_CONNECT);
  MsgBox(std::string("PIC Upgrade failed.  Click OK and try again.") + CRLF +
             "Please refer to the Help menu if needed.",
         vbOKOnly | vbExclamation, kProgramTitle);
  SetStatus("");
}

// 20 s after an accepted reflash: ask for the version, which reports the
// outcome. Platform 8 has switched itself off and waits for the user.
void PicUpgrade::tmrPicUpgResetDelay_Timer() {
  Util_LogWrite(VRB, ">> tmrPicUpgResetDelay_Timer()");
  tmrPicUpgResetDelay.setEnabled(false);
  StopWatchdog();
  picUpgTickCount = 0;
  up.ui.SetMouseCursor(0);
  if (PlatformIs(8))
    MsgBox(
        "Please perform the following steps in this order:\r\n\r\n- Power-up the Terminal "
        "manually by pressing the Power-button.\r\n- Wait until the the unit is Powered up.\r\n- "
        "Click 'OK' to continue when the unit is Up.\r\n\r\n",
        vbOKOnly | vbInformation | vbActionNeeded, kUpgraderTitle);
  up.zing.ZingReq_GetCurrentSoftwareVersion();
}

// The restart wait: closes a shell session left over from a battery reboot
// and asks the terminal for its version again.
void PicUpgrade::tmr40SecDelay_Timer() {
  Util_LogWrite(VRB, ">> tmr40SecDelay_Timer()");
  tmr40SecDelay.setEnabled(false);
  if (bPicBattRebootWait) {
    bPicBattRebootWait = false;
    telnetShell->close();
    Util_LogWrite(INF, "Closing Telnet connection used earlier for PIC Upgrade.");
    SetPicState(PIC_UPG_STATE_INIT_CONNECT);
  }
  up.zing.ZingReq_GetCurrentSoftwareVersion();
  tmrPicUpgrCnt.setEnabled(false);
  picUpgTickCount = 0;
  up.ui.SetMouseCursor(0);
}

}  // namespace orvex
