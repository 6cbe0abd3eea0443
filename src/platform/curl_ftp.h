// The FTP client and the one-file upload on libcurl. The client runs the
// curl easy interface on one worker thread of its own, one command at a
// time, and hands every state change back to the GUI thread as a queued
// signal; the engine never sees the thread.
#pragma once

#include <memory>
#include <string>

#include "platform/ports.h"

namespace orvex {

// Both need a running Qt event loop on the calling (GUI) thread for their events.
std::unique_ptr<FtpClientPort> MakeCurlFtpClient();

// The same client with a login other than the terminal's, on a port of its
// own when `port` is not 0: for FTP servers that are not a terminal (the
// benchmark's reference servers).
struct FtpLogin {
  std::string user, password;
  long port = 0;
};
std::unique_ptr<FtpClientPort> MakeCurlFtpClient(FtpLogin login);
std::unique_ptr<FtpUploadPort> MakeCurlFtpUpload();

}  // namespace orvex
