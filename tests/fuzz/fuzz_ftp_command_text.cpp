// Arbitrary bytes as an FTP command text, and as the two names of the
// commands the engine builds, read back the way the FTP client's adapter
// reads them.
//
// Checked: any text gives an upper-case verb without spaces; and the names
// the engine quotes (local and remote paths) and the bare names it does not
// (the remote name of a PUT, the names of a RENAME) come back exactly as
// they went in.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ftp_command_text.h"

namespace {

void Expect(bool ok) {
  if (!ok) __builtin_trap();
}

bool Blank(char c) {
  return c == ' ' || c == '\t';
}

// The bytes without quotes, and without blanks too where `bare`.
std::string Name(const std::string& s, bool bare) {
  std::string out;
  for (char c : s)
    if (c != '"' && !(bare && Blank(c))) out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const orvex::FtpCommandText any = orvex::ParseFtpCommandText(bytes);
  Expect(any.verb.find(' ') == std::string::npos);
  for (char c : any.verb) Expect(!(c >= 'a' && c <= 'z'));

  // Two names from the bytes, split at the first line break.
  const size_t cut = bytes.find('\n');
  const std::string a = Name(bytes.substr(0, cut), false);
  const std::string b = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);
  const std::string remote = Name(b, true);
  if (a.empty() || remote.empty()) return 0;

  const orvex::FtpCommandText get = orvex::ParseFtpCommandText("GET \"" + a + "\" \"" + b + "\"");
  Expect(get.verb == "GET" && get.first == a && get.second == b);

  const orvex::FtpCommandText put = orvex::ParseFtpCommandText("PUT \"" + a + "\" " + remote);
  Expect(put.verb == "PUT" && put.first == a && put.second == remote);

  const orvex::FtpCommandText rename =
      orvex::ParseFtpCommandText("RENAME " + remote + " " + remote + ".part");
  Expect(rename.verb == "RENAME" && rename.first == remote && rename.second == remote + ".part" &&
         !rename.extra);
  return 0;
}
