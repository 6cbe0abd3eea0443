#include "upgrade/release_series.h"

#include <chrono>
#include <filesystem>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "transfer/transfer_meter.h"
#include "ui/main_window.h"

namespace orvex {

namespace {

// A release series is named by the first four characters of a version.
constexpr size_t kSeriesPrefixLength = 4;

// Seconds since the epoch of a wall-clock time, so that a wait across
// midnight still measures what passed.
long long SecondsOf(const DateTime& t) {
  using namespace std::chrono;
  const sys_days day{year{t.year} / month{static_cast<unsigned>(t.month)} /
                     std::chrono::day{static_cast<unsigned>(t.day)}};
  return day.time_since_epoch().count() * 86400LL + t.hour * 3600LL + t.minute * 60LL + t.second;
}

}  // namespace

void ReleaseSeries::UI_CheckFactoryMode() {
  Util_LogWrite(VRB, ">> UI_CheckFactoryMode()");
  st.bFactoryMode = !FindFiles(st.strHomeDir, "factory.txt").empty();
  if (st.bFactoryMode) {
    win.setText("frmMain", win.text("frmMain") + ": FACTORY MODE");
    Util_LogWrite(INF, "ORVEX Upgrader _Factory-mode_");
  }
}

bool ReleaseSeries::DetectReleaseSeriesConflict(const std::string& version) {
  Util_LogWrite(VRB, ">> DetectReleaseSeriesConflict()");
  const std::string current = Left(st.strCurrSwVersion, kSeriesPrefixLength);
  const std::string next = Left(version, kSeriesPrefixLength);
  Util_LogWrite(VRB, "Current Software Ver: " + st.strCurrSwVersion + " Prefix: " + current);
  Util_LogWrite(VRB, "Upgrading Software Ver: " + version + " Prefix: " + next);
  if (EqualsNoCase(current, next)) {
    Util_LogWrite(INF, "Release Streams Match !");
    return true;
  }
  if (st.bFactoryMode) {
    Util_LogWrite(INF, "Factory mode Override !");
    return true;
  }
  if (EqualsNoCase(current, "0_0_") || st.bBootromMode || st.bSwVersionUnavailable) {
    Util_LogWrite(INF, "Development/BOOTROM-mode Upgrade over-ride!");
    return true;
  }
  Util_LogWrite(INF, "Upgrade Not permitted !");
  return false;
}

void ReleaseSeries::Form_KeyPress(int keyAscii) {
  if (keyAscii == kLogKeyArm && !bLogKeyArmed) {
    bLogKeyArmed = true;
    return;
  }
  const bool fire = keyAscii == kLogKeyFire && bLogKeyArmed;
  bLogKeyArmed = false;
  if (!fire) return;
  // The log download is an FTP chain of its own: not while another runs.
  if (up.app.UpgradeInProgress()) {
    Util_LogWrite(INF, "Log download not started: an upgrade is in progress.");
    return;
  }
  DownloadTerminalLog();
}

void ReleaseSeries::DownloadTerminalLog() {
  Util_LogWrite(VRB, ">> Form_KeyPress()");
  up.ui.SetMouseCursor(1);
  const std::string target = st.strBackupDir + PathSep() + "sylog.log";
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(target), ec);  // a stale copy may stay

  auto& ftp = *up.ftp.inetFTP;
  st.ftpState = GET_LOG_CMD;
  SetStatus("Downloading Log");
  ftp.setRemoteHost(st.strModemIPAddress);
  auto& clock = up.platform.clock();
  const long long started = SecondsOf(clock.now());
  st.bFtpDone = false;
  up.ftp.tmrFTPReq.setEnabled(true);
  ftp.execute({"GET", {"/ram0/syslog.log", target}, "GET /ram0/syslog.log \"" + target + "\""});
  Util_LogWrite(DET, std::string("FTP state : ") + FtpStateName(GET_LOG_CMD));

  auto& pump = up.platform.pump();
  // Each step sleeps a second, so the step count bounds the wait even when
  // the system clock is set back meanwhile.
  for (long long steps = 1;; ++steps) {
    pump.doEvents();
    pump.sleepMs(kLogWaitStepMs);
    if (st.bUnloaded) return;
    if (SecondsOf(clock.now()) - started > kLogWaitLimitSec || steps > kLogWaitLimitSec) break;
    if (st.bFtpDone) {
      up.ui.SetMouseCursor(0);
      return;
    }
  }
  st.bFtpDone = true;
  up.ftp.tmrFTPReq.setEnabled(false);
  up.meter.TransferEnded(false);
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("Upgrade failed.  Click OK and close the upgrader.  ") +
             "Check connection before retrying upgrade.",
         vbOKOnly | vbExclamation, kProgramTitle);
  SetStatus("");
  ftp.cancel();
}

}  // namespace orvex
