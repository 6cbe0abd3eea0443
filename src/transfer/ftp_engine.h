// The FTP command engine: one FTP command at a time, as a chain of named
// states, with its watchdog, the FTP readiness lamp and the lock-out.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

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
  // The IB, antenna and PIC files: what a cut-off upload left on the
  // terminal goes before the first command of the next chain to it; what was
  // put is checked by its size in the listing before the terminal acts on
  // it, and removed when it is wrong.
  CLEAR_LEFTOVER_CMD = 30,
  VERIFY_UPLOAD_CMD = 31,
  DELETE_UPLOAD_CMD = 32,
  // image.txt: put under a temporary name, checked by its size, renamed over
  // image.txt; where the terminal cannot rename, written in place and read
  // back.
  CHECK_IMAGE_TXT_CMD = 33,
  RENAME_IMAGE_TXT_CMD = 34,
  READ_BACK_IMAGE_TXT_CMD = 35,
  DELETE_IMAGE_TXT_PART_CMD = 36,
};

// The name of a state as the "FTP state : " log lines print it.
const char* FtpStateName(long state);

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

  // Makes the state the outstanding command's and logs its name.
  void EnterStep(long state);
  // Enters the state and executes its command, under the watchdog when
  // asked.
  void StartStep(long state, const FtpCommand& command, bool watchdog);
  // StartStep under the watchdog for the first command of a chain (see
  // ExecuteFirstCommand).
  void StartFirstStep(long state, const FtpCommand& command);
  // Executes the command of the current state (ftpState), the first of a
  // chain to the terminal: whatever earlier uploads left there is removed
  // before it, one DELE each (CLEAR_LEFTOVER_CMD, under the watchdog), and
  // a DELE that fails ends the chain. With nothing left the command goes at
  // once. downloadLimit >= 0 limits the GET it is (see limitNextDownload).
  void ExecuteFirstCommand(const FtpCommand& command, long long downloadLimit = -1);

  // Puts the IB, antenna or PIC file of the current state (ftpState) with
  // this command, after removing what cut-off uploads left.
  void PutCheckedUpload(const FtpCommand& command);
  // True while the remote file on the terminal at the current address is a
  // leftover: put, but neither checked nor removed.
  bool HasUploadLeftover(const std::string& remote) const;

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

  // The file a state puts: local path, remote path, the words for messages.
  struct Upload {
    long state = 0;
    std::string local, remote, what, item;
    long long size = -1;
    std::string failure;  // the message shown once what arrived is removed
  };
  static bool IsCheckedUpload(long state);
  Upload UploadFor(long state) const;
  void VerifyUpload();
  void CheckUploadedSize();
  void RemoveUpload(const std::string& message);
  void ReportRemovedUpload(bool removed);
  // What the state's completion does once its file is verified.
  void ContinueAfterUpload(long state);
  // A cut-off upload (the connection is gone): the file may be partial on
  // the terminal, and nothing may make the terminal act on it. True when
  // the state was such an upload and the chain has ended with the message.
  bool UploadCutOff();

  // The leftovers of the terminal at the current address; the history's
  // list is merged in before the first command of a chain.
  std::vector<std::string>& Leftovers();
  void LoadLeftovers();
  void KeepLeftover(const std::string& remote);
  void DropLeftover(const std::string& remote);
  void SaveLeftovers();
  // The upload a leftover came from, by its remote name.
  Upload LeftoverUpload(const std::string& remote) const;
  void ClearNextLeftover();
  void LeftoverCleared();
  void LeftoverNotRemoved();
  void RunPendingCommand();

  Upload upload_;
  // The first command of the chain, once the leftovers are removed.
  struct Pending {
    long state = 0;
    FtpCommand command;
    long long downloadLimit = -1;
  };
  Pending pending_;
  // By terminal address: remote files whose upload did not end verified
  // (or removed).
  std::map<std::string, std::vector<std::string>> leftovers_;
};

}  // namespace orvex
