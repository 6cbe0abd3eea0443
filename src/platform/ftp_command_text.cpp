#include "platform/ftp_command_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace orvex {
namespace {

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Unquote(const std::string& s) {
  std::string t = Trim(s);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
  return t;
}

// The words of a RENAME: each in double quotes or up to the next blank.
std::vector<std::string> Words(const std::string& rest) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < rest.size()) {
    if (rest[i] == ' ' || rest[i] == '\t') {
      ++i;
    } else if (rest[i] == '"') {
      const auto close = rest.find('"', i + 1);
      const auto end = close == std::string::npos ? rest.size() : close;
      words.push_back(rest.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      const auto end = std::min(rest.find_first_of(" \t", i), rest.size());
      words.push_back(rest.substr(i, end - i));
      i = end;
    }
  }
  return words;
}

}  // namespace

FtpCommandText ParseFtpCommandText(const std::string& text) {
  FtpCommandText c;
  const std::string t = Trim(text);
  const auto blank = t.find(' ');
  c.verb = t.substr(0, blank);
  std::transform(c.verb.begin(), c.verb.end(), c.verb.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
  const std::string rest = blank == std::string::npos ? std::string() : Trim(t.substr(blank));
  if (c.verb == "RENAME") {
    const std::vector<std::string> words = Words(rest);
    if (!words.empty()) c.first = words[0];
    if (words.size() > 1) c.second = words[1];
    c.extra = words.size() > 2;
    return c;
  }
  if (c.verb != "GET" && c.verb != "PUT") {
    c.first = Unquote(rest);
    return c;
  }
  if (!rest.empty() && rest.front() == '"') {
    const auto close = rest.find('"', 1);
    if (close == std::string::npos) {
      c.first = rest.substr(1);
    } else {
      c.first = rest.substr(1, close - 1);
      c.second = Unquote(rest.substr(close + 1));
    }
  } else if (c.verb == "PUT") {
    const auto last = rest.find_last_of(' ');
    if (last != std::string::npos) {
      c.first = Unquote(rest.substr(0, last));
      c.second = Unquote(rest.substr(last + 1));
    } else {
      c.first = rest;
    }
  } else {
    const auto split = rest.find(' ');
    c.first = rest.substr(0, split);
    if (split != std::string::npos) c.second = Unquote(rest.substr(split));
  }
  return c;
}

bool FtpArgumentUnsafe(const std::string& argument) {
  return argument.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace orvex
