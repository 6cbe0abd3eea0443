// The telnet shell session of the PIC upgrade: opening the connection, its
// connect time-out, the login dialogue, command lines and their traces, and
// the fatal failure of a session.
#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"

namespace orvex {

namespace {

constexpr int kTelnetPort = 23;
// At most this much of what has arrived is read per data event; the rest
// raises another event.
constexpr long kShellReadMax = 4000;
// No shell dialogue of the upgrade comes near this much unread output: more
// is a terminal that floods the session.
constexpr long kShellBufferMax = 64 * 1024;

constexpr const char* kShellUser = "termuser";
constexpr const char* kShellPassword = "skyharbor";

bool IsLoginPrompt(const std::string& text) {
  return Contains(text, "VxWorks login:") ||
         (Contains(text, "Username:") &&
          (Contains(text, "[BSP 2A]") || Contains(text, "[BSP 2C]")));
}

}  // namespace

void PicUpgrade::OpenShellSession(const std::string& trapLabel) {
  if (auto e = telnetShell->connect(st.strModemIPAddress, kTelnetPort)) {
    // The connect time-out below reports the failure to the user.
    Util_LogWrite(ERR, trapLabel);
    Util_LogWrite(DET, std::string(CRLF) + std::to_string(e->number) + ": " + e->description +
                           CRLF + "Help: " + std::to_string(e->helpContext) + CRLF +
                           "Source: " + e->source);
  }
  SetStatus("Attempting PIC Upgrade. Connecting .....");
  tmrTelnetConnect.setEnabled(true);
}

// One command line: the text and CR LF in one send, traced first.
void PicUpgrade::SendShellLine(const std::string& command) {
  const std::string line = command + CRLF;
  Util_LogWrite(DET, up.log.Util_TraceOut(line, static_cast<short>(line.size())));
  telnetShell->sendData(line);
}

void PicUpgrade::SetPicState(long state) {
  st.picUpgradeState = state;
  loggedInText.clear();
  prepSavedCheck = false;
  reflashImageCheck = false;
  Util_LogWrite(DET, "picUpgradeState = " + Util_PicUpgStateName(st.picUpgradeState));
}

void PicUpgrade::LogReceived(const std::string& label, const std::string& text) {
  Util_LogWrite(DET, label + Util_TraceText(text, static_cast<short>(text.size())));
}

void PicUpgrade::StartWatchdog() {
  tmrPicUpgrCnt.setEnabled(true);
  Util_LogWrite(DET, "tmrPicUpgrCnt.Enabled = True");
}

void PicUpgrade::StopWatchdog() {
  tmrPicUpgrCnt.setEnabled(false);
  Util_LogWrite(DET, "tmrPicUpgrCnt.Enabled = False");
}

void PicUpgrade::EndPicChain(const std::string& reason) {
  tmrTelnetConnect.setEnabled(false);
  tmrPicUpgrCnt.setEnabled(false);
  tmrPicUpgResetDelay.setEnabled(false);
  loggedInText.clear();
  // Clears the pending flags and leaves picUpgradeState 0, so that the
  // close of a later FTP chain does not open a preparation pass.
  up.seq.EndChainOnFailure(reason);
}

void PicUpgrade::telnetShell_DataArrival(long bytesTotal) {
  Util_LogWrite(DET, std::string(42, '_'));
  Util_LogWrite(DET, "telnetShell_DataArrival()");
  if (bytesTotal >= kShellBufferMax) {
    Util_LogWrite(ERR,
                  "The shell sent " + std::to_string(bytesTotal) + " bytes unread; session ended.");
    UPG_PicUpgradeFailed("The terminal's shell sent more output than a PIC upgrade gives.");
    return;
  }
  const std::string text = telnetShell->getData(kShellReadMax);

  const long state = st.picUpgradeState;
  if (state < PIC_UPG_STATE_PREP_INIT_CONNECT || state > PIC_UPG_STATE_WAIT_RESET ||
      state == PIC_UPG_STATE_PREP_REBOOT) {
    up.ui.SetMouseCursor(1);
    return;
  }
  Util_LogWrite(INF, " ----------- STATE: " + Util_PicUpgStateName(state));
  // The steps after the login keep the pointer busy while the script runs.
  if ((state >= PIC_UPG_STATE_PREP_LOGGEDIN && state <= PIC_UPG_STATE_PREP_CREATE_XIMG) ||
      (state >= PIC_UPG_STATE_LOGGEDIN && state <= PIC_UPG_STATE_REFLASH_SENT))
    up.ui.SetMouseCursor(1);

  switch (state) {
    case PIC_UPG_STATE_PREP_INIT_CONNECT:
    case PIC_UPG_STATE_INIT_CONNECT: OnConnectState(text); break;
    case PIC_UPG_STATE_PREP_UNAME_SENT:
    case PIC_UPG_STATE_UNAME_SENT: OnUserNameState(text); break;
    case PIC_UPG_STATE_PREP_PASSWD_SENT:
    case PIC_UPG_STATE_PASSWD_SENT: OnPasswordState(text); break;
    case PIC_UPG_STATE_PREP_LOGGEDIN:
    case PIC_UPG_STATE_PREP_CHECK_BATT:
    case PIC_UPG_STATE_PREP_CHK_IMG:
    case PIC_UPG_STATE_PREP_BKUP_IMG:
    case PIC_UPG_STATE_PREP_CREATE_XIMG:
    case PIC_UPG_STATE_LOGGEDIN:
    case PIC_UPG_STATE_RECOVER_IMG:
    case PIC_UPG_STATE_CHECK_BATT: OnScriptAnswer(state, text); break;
    case PIC_UPG_STATE_BATT_REBOOT_WAIT: OnBatteryRebootWait(text); break;
    case PIC_UPG_STATE_REFLASH_SENT: OnReflashSent(text); break;
    case PIC_UPG_STATE_WAIT_RESET:
      // The shell still talks after the reboot command of a battery stop.
      if (!text.empty()) st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT;
      break;
    default: break;
  }
}

void PicUpgrade::OnConnectState(const std::string& text) {
  const bool prep = st.picUpgradeState == PIC_UPG_STATE_PREP_INIT_CONNECT;
  if (IsLoginPrompt(text)) {
    tmrTelnetConnect.setEnabled(false);
    // From the first prompt on the watchdog bounds the dialogue: a login that
    // stalls (no password prompt, a refused password) ends in its failure.
    StartWatchdog();
    SendShellLine(kShellUser);
    SetPicState(prep ? PIC_UPG_STATE_PREP_UNAME_SENT : PIC_UPG_STATE_UNAME_SENT);
  } else if (Contains(text, "->")) {
    // A shell that asks for no login.
    tmrTelnetConnect.setEnabled(false);
    StartWatchdog();
    Util_LogWrite(INF, "Connect outcome:" + Util_TraceText(text, static_cast<short>(text.size())));
    if (prep) {
      SendShellLine("cd \"/tffs0/\"");
      SetPicState(PIC_UPG_STATE_PREP_LOGGEDIN);
    } else {
      // The reflash pass decides on the result of the copy of the saved
      // descriptor, so it is asked for here too.
      SendShellLine("cd \"/tffs0/\"; copy \"uimage.txt\"");
      SetPicState(PIC_UPG_STATE_LOGGEDIN);
    }
  } else if (Contains(text, "Sorry, session limit reached.")) {
    UPG_PicUpgradeFailed("Make sure there is no other active Telnet session to the TE.");
  }
}

void PicUpgrade::OnUserNameState(const std::string& text) {
  if (!Contains(text, "Password:")) return;
  Util_LogWrite(DET, "Sending Password..");
  // Never traced: the password must not reach the log.
  telnetShell->sendData(std::string(kShellPassword) + CRLF);
  SetPicState(st.picUpgradeState == PIC_UPG_STATE_PREP_UNAME_SENT ? PIC_UPG_STATE_PREP_PASSWD_SENT
                                                                  : PIC_UPG_STATE_PASSWD_SENT);
  SetStatus("Connecting ...");
}

void PicUpgrade::OnPasswordState(const std::string& text) {
  if (!Contains(text, "->")) return;
  Util_LogWrite(DET, "Connect outcome :" + Util_TraceText(text, static_cast<short>(text.size())));
  if (st.picUpgradeState == PIC_UPG_STATE_PREP_PASSWD_SENT) {
    SendShellLine("cd \"/tffs0/\"");
    SetPicState(PIC_UPG_STATE_PREP_LOGGEDIN);
    SetStatus("Connected");
  } else {
    SendShellLine("cd \"/tffs0/\"; copy \"uimage.txt\"");
    SetPicState(PIC_UPG_STATE_LOGGEDIN);
    SetStatus("Recovering Image.");
  }
}

void PicUpgrade::tmrTelnetConnect_Timer() {
  Util_LogWrite(VRB, ">> tmrTelnetConnect_Timer()");
  telnetShell->close();
  tmrTelnetConnect.setEnabled(false);
  const bool reflashPass = st.picUpgradeState == PIC_UPG_STATE_INIT_CONNECT;
  EndPicChain("No PIC shell session: the terminal did not answer on its telnet port.");
  // The reflash pass stays where it was; the preparation pass must not stay
  // in the state that makes an FTP close open a session.
  if (reflashPass) st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT;
  up.ui.SetMouseCursor(0);
  SetStatus("Telnet Connection failed.");
  if (reflashPass)
    MsgBox(std::string("Can not send command to upgrade the PIC. ") + CRLF +
               "Please check cable connections, Power cycle the modem." + CRLF +
               "Repeat upgrade process.",
           vbOKOnly | vbExclamation, kProgramTitle);
}

// A socket error is shown and logged; the connect time-out and the
// watchdog stay the ways a failed session ends.
void PicUpgrade::telnetShell_Error(long number, const std::string& description) {
  Util_LogWrite(ERR, "Telnet Error " + std::to_string(number) + ": " + description);
  SetStatus("Telnet Error " + description);
}

void PicUpgrade::UPG_PicUpgradeFailed(const std::string& reason) {
  Util_LogWrite(VRB, ">> UPG_PicUpgradeFailed()");
  // The session is over before the box is shown: neither late shell output
  // nor its connect time-out may report it a second time while it is up.
  telnetShell->close();
  EndPicChain("PIC shell session failed: " + reason);
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("PIC Upgrade failed. Click OK and close the upgrader.") + CRLF + reason,
         vbOKOnly | vbExclamation, "ORVEX Upgrader");
  SetStatus("PIC Upgrade Failed ! Restart application");
  up.ftp.DisableFTPbuttons();
}

}  // namespace orvex
