// The FTP command engine: one FTP command at a time, as a chain of named
// states, with its watchdog, the FTP readiness lamp and the lock-out.
#pragma once

#include <memory>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

class FtpEngine : public Part {
 public:
  explicit FtpEngine(Upgrader& up);

  void setOKToFTP(bool flag);
  void DisableFTPbuttons();
  void inetFTP_StateChanged(int state);
  void tmrFTPReq_Timer();
  void UPG_CloseFtpForImagePut();

  std::unique_ptr<FtpClientPort> inetFTP;
  Timer tmrFTPReq;
};

}  // namespace orvex
