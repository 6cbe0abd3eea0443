// The FTP command engine: one FTP command at a time, as a chain of named
// states, with its watchdog, the FTP readiness lamp and the lock-out.
#pragma once

#include <memory>
#include <string>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

// Numbers of the outstanding FTP command (ftpState). They are printed in log
// lines and in the "Upgrade failed." message.
enum FtpCommandState : long {
  GET_BIN_CMD = 1,
  PUT_NEW_BIN_CMD = 3,
  GET_IMG_CMD = 8,
  CD_TO_BIN_FOLDER = 9,
  DELETE_OLD_ORVEX_FILE = 10,
  SEARCH_ALL_BIN_FILE = 11,
  PUT_RESTORE_BIN_CMD = 12,
  CLOSE_CONNECTION = 19,
  CLOSE_CONN_IMAGE_PUT = 20,
  GET_LOG_CMD = 21,
  UPGRADE_PIC_SA_CMD = 22,
  UPGRADE_ANTENNA_ATB_CMD = 23,
  UPGRADE_ANTENNA_HPA_CMD = 24,
  UPGRADE_IB_SA_CMD = 25,
  // A new or restored image is put under a temporary name, checked by its
  // size on the flash and only then renamed into place; a temporary file
  // that fails the check is removed.
  VERIFY_NEW_BIN_CMD = 26,
  RENAME_NEW_BIN_CMD = 27,
  DELETE_PART_BIN_CMD = 28,
  // Before an image is put: does the terminal's FTP server rename files?
  // (An older one knows neither RNFR nor RNTO.) Asked with HELP.
  CHECK_RENAME_CMD = 29,
};

// The warning shown before the upgrader closes on a broken connection.
inline constexpr const char* kClosingConnectionWarning =
    "\r\nWARNING: Connection Problem.\r\n\r\n# Please check the cable connection.\r\n# Restart "
    "the Upgrader.\r\n# Reset the Modem using the 'Tools>Reset Modem' option.\r\n# Retry the "
    "Upgrade after the modem Restarts.\r\nThe upgrader will now close.";

class FtpEngine : public Part {
 public:
  explicit FtpEngine(Upgrader& up);

  void setOKToFTP(bool flag);
  void DisableFTPbuttons();
  void inetFTP_StateChanged(int state);
  void tmrFTPReq_Timer();
  void UPG_CloseFtpForImagePut();

  // Ends the chain after a failure: the client is left idle at the login
  // folder, nothing pending starts later, and the reason goes into the log.
  void EndChainOnFailure(const std::string& reason);

  std::unique_ptr<FtpClientPort> inetFTP;
  Timer tmrFTPReq;

 private:
  void OnCommandComplete();
  void OnError();
  void OnDisconnected();
  void OnServerRefused();
  // A refusal the chain cannot go on from: the chain ends with the message.
  void RefusedUnexpectedly();
  // "An unexpected FTP error occurred. …" with the server's reply.
  std::string RefusalMessage() const;
  // Ends a chain with "CLOSE" (FTP state CLOSE_CONNECTION).
  void CloseConnection(bool watchdog);
};

}  // namespace orvex
