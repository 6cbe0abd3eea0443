// The text of an FTP command as the engine writes it for the FTP client
// ("CD /tffs0/bin", "PUT \"local\" remote", "RENAME a b", ...), read back
// into its verb and arguments. The client's adapter acts on what this
// gives, so the texts the engine builds and this reading must agree.
#pragma once

#include <string>

namespace orvex {

// A verb (upper-cased) and up to two arguments, each written either in
// double quotes or bare. A bare local path may hold blanks, so the bare
// remote name of a PUT is its last word and the bare remote path of a GET
// its first; the bare names of a RENAME are single words. Any other verb
// takes the rest of the line as its one argument (quotes removed).
struct FtpCommandText {
  std::string verb, first, second;
  bool extra = false;  // more arguments than the verb takes (RENAME)
};

FtpCommandText ParseFtpCommandText(const std::string& text);

// True when an argument holds a line break or NUL, which would end the
// command early and start another one on the control connection.
bool FtpArgumentUnsafe(const std::string& argument);

}  // namespace orvex
