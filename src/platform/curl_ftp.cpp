// The FTP client and the one-file upload on libcurl (first cut: idle ports).
#include "platform/curl_ftp.h"

namespace orvex {
namespace {

class CurlFtpClient final : public FtpClientPort {
 public:
  void setStateChanged(std::function<void(int)> handler) override { handler_ = std::move(handler); }
  void setRemoteHost(const std::string& host) override { host_ = host; }
  void execute(const std::string&) override {}
  void cancel() override {}
  bool stillExecuting() const override { return false; }
  long responseCode() const override { return 0; }
  std::string responseInfo() const override { return {}; }
  std::string getChunk(int) override { return {}; }

 private:
  std::function<void(int)> handler_;
  std::string host_;
};

class CurlFtpUpload final : public FtpUploadPort {
 public:
  bool open(const std::string&) override { return true; }
  bool connect(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  bool putFile(const std::string&, const std::string&, bool) override { return false; }
  long lastError() const override { return ftpErrCannotConnect; }
  void closeHandles() override {}
};

}  // namespace

std::unique_ptr<FtpClientPort> MakeCurlFtpClient() {
  return std::make_unique<CurlFtpClient>();
}
std::unique_ptr<FtpUploadPort> MakeCurlFtpUpload() {
  return std::make_unique<CurlFtpUpload>();
}

}  // namespace orvex
