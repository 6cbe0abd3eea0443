// A scripted FTP server behind the fake FTP client: every command gets its
// outcome a few virtual milliseconds after it was issued, the way the real
// client reports it on a later event. Commands complete unless a rule says
// otherwise; "CLOSE" disconnects; "LS " delivers the listing; the GET of
// image.txt and of the backup image write the local file. A PUT stores the
// local file's size under its remote path in `flash`; "DIR " lists that
// folder of `flash` as an old server does, and "RENAME " moves an entry.
// "HELP" lists the server's commands (helpText); RNFR and RNTO among them
// unless the test takes them out.
// With progressSteps set, a GET or PUT reports its byte count that many
// times, evenly over transferMs, before its outcome.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace orvex::test {

class FtpScript {
 public:
  struct Rule {
    std::string prefix;
    long code = 0;  // 0: completes; otherwise the error number reported
    std::string info;
    bool hang = false;  // never answers
  };

  explicit FtpScript(FakePlatform& p) : p_(p) {
    p_.ftp().script = this;
    p_.ftp().answerSizeChecks = false;
    // image.txt and its temporary copy, put by the one-file upload, land in
    // the login folder.
    p_.onUploadPut = [this](const std::string& local, const std::string& remote) {
      std::ifstream in(local, std::ios::binary);
      std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (uploadShortBy > 0 && uploadShortCount-- != 0)
        content.resize(content.size() > size_t(uploadShortBy) ? content.size() - uploadShortBy : 0);
      texts[remote] = content;
      flash[remote] = static_cast<long long>(content.size());
      if (remote == "image.txt") imageTxt = content;
    };
    p_.ftp().onExecute = [this](FakeFtpClient&, const std::string& command) {
      const bool transfer = command.rfind("GET ", 0) == 0 || command.rfind("PUT ", 0) == 0;
      const long long steps = transfer ? progressSteps : 0;
      const std::string source = FakeFtpClient::FirstArgument(command);
      for (long long i = 1; i <= steps; ++i) {
        const long long at = transferMs * i / steps;
        const long long done = transferBytes * i / steps;
        p_.vclock.schedule(
            at, [this, done, at, source] { p_.ftp().progress(done, transferBytes, at, source); });
      }
      p_.vclock.schedule(delayMs + (steps ? transferMs : 0), [this, command] { answer(command); });
    };
  }
  FtpScript(const FtpScript&) = delete;
  FtpScript& operator=(const FtpScript&) = delete;
  ~FtpScript() {
    // A script that replaced this one keeps the client.
    if (p_.ftp().script != this) return;
    p_.ftp().script = nullptr;
    p_.ftp().onExecute = nullptr;
    p_.ftp().answerSizeChecks = true;
    p_.onUploadPut = nullptr;
  }

  // The latest rule whose prefix starts the command wins.
  void fail(const std::string& prefix, long code, const std::string& info = "550 refused") {
    rules_.push_back({prefix, code, info, false});
  }
  void hang(const std::string& prefix) { rules_.push_back({prefix, 0, "", true}); }

  // The reply to "HELP".
  std::string helpText =
      "214-The following commands are recognized:\r\n USER PASS LIST NLST RETR STOR DELE RNFR "
      "RNTO\r\n214 Help OK.\r\n";
  // Content of image.txt on the terminal; none: the GET is refused (12003).
  std::optional<std::string> imageTxt;
  // What the GET of the backup image writes; unset: a text naming the source.
  std::optional<std::string> backupContent;
  // The reply to "LS ", in the pieces the client hands out.
  std::vector<std::string> listing;
  long long delayMs = 10;
  // Remote path -> size of the files put on (or placed on) the flash.
  std::map<std::string, long long> flash;
  // When set, a PUT stores this many bytes fewer than it was sent.
  long long putShortBy = 0;
  // The same for the one-file upload (image.txt), for this many (-1: all).
  long long uploadShortBy = 0;
  int uploadShortCount = -1;
  // What the one-file upload put, by remote name.
  std::map<std::string, std::string> texts;
  // Local folder of the relative local names of a PUT.
  std::string localFolder;
  // Byte counts reported by each GET and PUT (see above), of this size.
  long long progressSteps = 0;
  long long transferMs = 1000;
  long long transferBytes = 31'000'000;

 private:
  // The quoted paths of a command, in order.
  static std::vector<std::string> Quoted(const std::string& command) {
    std::vector<std::string> out;
    for (size_t pos = command.find('"'); pos != std::string::npos;) {
      const size_t end = command.find('"', pos + 1);
      if (end == std::string::npos) break;
      out.push_back(command.substr(pos + 1, end - pos - 1));
      pos = command.find('"', end + 1);
    }
    return out;
  }
  static void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  }

  void answer(const std::string& command) {
    auto& ftp = p_.ftp();
    for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
      if (command.rfind(it->prefix, 0) != 0) continue;
      if (it->hang) return;
      if (it->code != 0) {
        ftp.code = it->code;
        ftp.info = it->info;
        ftp.fire(icError);
        return;
      }
      break;
    }
    ftp.code = 0;
    ftp.info.clear();
    if (command == "CLOSE") {
      ftp.fire(icDisconnecting);
      ftp.fire(icDisconnected);
      return;
    }
    if (command.rfind("GET image.txt ", 0) == 0) {
      if (!imageTxt) {
        ftp.code = ftpErrServerRefused;
        ftp.info = "550 image.txt: No such file";
        ftp.fire(icError);
        return;
      }
      WriteFile(Quoted(command).at(0), *imageTxt);
    } else if (command.rfind("GET ", 0) == 0) {
      WriteFile(Quoted(command).at(1),
                backupContent.value_or("backup of " + Quoted(command).at(0)));
    } else if (command == "HELP") {
      ftp.chunks.assign({helpText});
    } else if (command == "LS ") {
      ftp.chunks.assign(listing.begin(), listing.end());
    } else if (command.rfind("PUT ", 0) == 0) {
      const std::string remote = command.substr(command.rfind(' ') + 1);
      std::error_code ec;
      std::string local = FakeFtpClient::FirstArgument(command);
      if (!local.empty() && local[0] != '/') local = localFolder + local;
      const auto size = std::filesystem::file_size(local, ec);
      flash[remote] = ec ? 0 : static_cast<long long>(size) - putShortBy;
    } else if (command.rfind("DIR ", 0) == 0) {
      // "DIR " alone lists the login folder: the bare names.
      const std::string folder = command.size() > 4 ? command.substr(4) + "/" : "";
      std::string text;
      for (const auto& [path, size] : flash)
        if (path.rfind(folder, 0) == 0 && path.find('/', folder.size()) == std::string::npos)
          text += "-rwxrwxrwx 1 0 0 " + std::to_string(size) + " Dec 08 08:00 " +
                  path.substr(folder.size()) + "\r\n";
      ftp.chunks.assign({text});
    } else if (command.rfind("RENAME ", 0) == 0) {
      const std::string args = command.substr(7);
      const std::string from = args.substr(0, args.find(' '));
      const std::string to = args.substr(args.find(' ') + 1);
      if (flash.count(from)) {
        flash[to] = flash[from];
        flash.erase(from);
      }
      if (texts.count(from)) {
        texts[to] = texts[from];
        texts.erase(from);
        if (to == "image.txt") imageTxt = texts[to];
      }
    } else if (command.rfind("Delete ", 0) == 0) {
      flash.erase(command.substr(7));
      texts.erase(command.substr(7));
      if (command == "Delete image.txt") imageTxt.reset();
    }
    ftp.fire(icResponseCompleted);
  }

  FakePlatform& p_;
  std::vector<Rule> rules_;
};

}  // namespace orvex::test
