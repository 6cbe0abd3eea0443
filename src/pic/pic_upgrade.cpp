#include "pic/pic_upgrade.h"

#include "app/upgrader.h"

namespace orvex {

PicUpgrade::PicUpgrade(Upgrader& up)
    : Part(up),
      telnetShell(up.platform.makeSocket("telnetShell")),
      tmrTelnetConnect(up.platform, "tmrTelnetConnect", 5000, up.cfg.timeScale,
                       [this] { tmrTelnetConnect_Timer(); }),
      tmrPicUpgrCnt(up.platform, "tmrPicUpgrCnt", 20000, up.cfg.timeScale,
                    [this] { tmrPicUpgrCnt_Timer(); }),
      tmrPicUpgResetDelay(up.platform, "tmrPicUpgResetDelay", 20000, up.cfg.timeScale,
                          [this] { tmrPicUpgResetDelay_Timer(); }),
      tmr40SecDelay(up.platform, "tmr40SecDelay", 40000, up.cfg.timeScale,
                    [this] { tmr40SecDelay_Timer(); }) {
  TcpSocketPort::Events events;
  events.onDataArrival = [this](long n) { telnetShell_DataArrival(n); };
  events.onError = [this](long number, const std::string& description) {
    telnetShell_Error(number, description);
  };
  telnetShell->setEvents(std::move(events));
}

void PicUpgrade::UI_EnablePICFunctionality() {
  Util_LogWrite(VRB, ">> UI_EnablePICFunctionality()");
  win.setText("framePIC", "PIC Info");
  win.setEnabled("framePIC", true);
  for (const char* name :
       {"lblLocPICVer", "txtLocPICVer", "lblTermPICVersion", "txtTermPICVersion"})
    win.setEnabled(name, true);
  win.setEnabled("chkPICUpg", st.bPicFwAvailable);
}

void PicUpgrade::UI_DisablePICFunctionality(bool bTerminalFieldsToo) {
  Util_LogWrite(VRB, ">> UI_DisablePICFunctionality()");
  win.setText("framePIC", "PIC Info");
  win.setEnabled("lblLocPICVer", false);
  win.setEnabled("txtLocPICVer", false);
  if (bTerminalFieldsToo) {
    win.setEnabled("lblTermPICVersion", false);
    win.setEnabled("txtTermPICVersion", false);
  }
  win.setValue("chkPICUpg", 0);
  win.setEnabled("chkPICUpg", false);
}

void PicUpgrade::UI_InitTermPicFields() {
  Util_LogWrite(VRB, ">> UI_InitTermPicFields()");
  win.setText("txtTermPICVersion", "UNKNOWN");
  win.setEnabled("chkPICUpg", true);
}

void PicUpgrade::UI_CheckLocalPICFirmware() {
  Util_LogWrite(VRB, ">> UI_CheckLocalPICFirmware()");
  const auto files = FindFiles(st.strHomeDir, "PIC*.s19");
  st.strLocalPicFile = files.empty() ? "" : files.front();
  const long long length =
      st.strLocalPicFile.empty() ? -1 : FileLength(st.strHomeDir + st.strLocalPicFile);
  if (length < 100) {
    st.bPicFwAvailable = false;
    win.setEnabled("cmdPicUpgradeMenu", false);
    win.setText("txtLocPICVer", "UNAVAILABLE");
    UI_DisablePICFunctionality(false);
    if (!st.strLocalPicFile.empty())
      Util_LogWrite(ERR, "Invalid PIC firmware file !! PIC Upgrade capability disabled.");
  } else {
    st.bPicFwAvailable = true;
    win.setEnabled("cmdPicUpgradeMenu", true);
    // The version sits between the first "_" and ".s19" (PIC_2_05.s19 shows
    // 2.05); a name without "_" shows all of it before ".s19". The file
    // search ignores case, so ".s19" is cut ignoring case too.
    const std::string& name = st.strLocalPicFile;
    const size_t underscore = name.find('_');
    std::string version = underscore == std::string::npos ? name : name.substr(underscore + 1);
    std::string lower = version;
    for (char& c : lower)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    const size_t ext = lower.find(".s19");
    if (ext != std::string::npos) version.resize(ext);
    for (char& c : version)
      if (c == '_') c = '.';
    win.setText("txtLocPICVer", version);
    UI_EnablePICFunctionality();
  }
  win.setEnabled("cmdPicUpgradeMenu", st.bPicFwAvailable);
  win.setValue("chkPICUpg", 0);
  win.setEnabled("chkPICUpg", st.bPicFwAvailable);
}

}  // namespace orvex
