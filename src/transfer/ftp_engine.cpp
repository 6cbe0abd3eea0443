#include "transfer/ftp_engine.h"

#include "app/upgrader.h"

namespace orvex {

FtpEngine::FtpEngine(Upgrader& up)
    : Part(up),
      inetFTP(up.platform.makeFtpClient()),
      tmrFTPReq(up.platform, "tmrFTPReq", 65000, up.cfg.timeScale, [this] { tmrFTPReq_Timer(); }) {
  inetFTP->setStateChanged([this](int state) { inetFTP_StateChanged(state); });
}

void FtpEngine::setOKToFTP(bool flag) {
  Util_LogWrite(VRB, ">> setOKToFTP() " + BoolText(flag));
  win.setBackColor("statusLED", flag ? kColorGreen : kColorRed);
  st.bOkToFTP = flag;
}

void FtpEngine::DisableFTPbuttons() {
  Util_LogWrite(VRB, ">> DisableFTPbuttons()");
  for (const char* name :
       {"cmdUpgrade", "cmdRestore", "cmdUpgradeMenu", "cmdRestoreMenu", "txtIPAddress",
        "cmdPicUpgradeMenu", "cmdIbUpgradeMenu", "cmdAntUpgradeMenu"})
    win.setEnabled(name, false);
}

// The FTP chains are built with the software upgrade.
void FtpEngine::inetFTP_StateChanged(int) {}
void FtpEngine::tmrFTPReq_Timer() {
  tmrFTPReq.setEnabled(false);
}
void FtpEngine::UPG_CloseFtpForImagePut() {}

}  // namespace orvex
