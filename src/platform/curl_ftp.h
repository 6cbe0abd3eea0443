// The FTP client and the one-file upload on libcurl. The client runs the
// curl easy interface on one worker thread of its own, one command at a
// time, and hands every state change back to the GUI thread as a queued
// signal; the engine never sees the thread.
#pragma once

#include <memory>

#include "platform/ports.h"

namespace orvex {

// Both need a running Qt event loop on the calling (GUI) thread for their events.
std::unique_ptr<FtpClientPort> MakeCurlFtpClient();
std::unique_ptr<FtpUploadPort> MakeCurlFtpUpload();

}  // namespace orvex
