#include "app/util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace orvex {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

std::string LTrim(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

std::string BoolText(bool b) {
  return b ? "True" : "False";
}

std::string HexUpper(unsigned long value) {
  static const char* digits = "0123456789ABCDEF";
  if (value == 0) return "0";
  std::string out;
  while (value) {
    out.insert(out.begin(), digits[value & 0xF]);
    value >>= 4;
  }
  return out;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0 && text.size() >= prefix.size();
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

static unsigned char Lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Left(const std::string& s, size_t n) {
  return s.substr(0, std::min(n, s.size()));
}

std::string Right(const std::string& s, size_t n) {
  return n >= s.size() ? s : s.substr(s.size() - n);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative match with backtracking on the last '*': linear in practice,
  // no recursion on long names.
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  // The pattern's '*' is always a wildcard, also where the name has a '*'.
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || Lower(static_cast<unsigned char>(pattern[p])) ==
                                         Lower(static_cast<unsigned char>(name[n])))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> out;
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder.empty() ? "." : folder), ec);
  if (ec) return out;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::error_code fec;
    if (!it->is_regular_file(fec) || fec) continue;
    std::string name = it->path().filename().string();
    if (WildcardMatch(pattern, name)) out.push_back(std::move(name));
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool FolderExists(const std::string& folder) {
  std::error_code ec;
  return fs::is_directory(fs::path(folder), ec);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::path(path), ec);
}

long long FileLength(const std::string& path) {
  std::error_code ec;
  auto size = fs::file_size(fs::path(path), ec);
  if (ec) return -1;
  return static_cast<long long>(size);
}

std::FILE* OpenForWrite(const std::string& path, const char* mode) {
  const std::string m = mode;
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  flags |= m[0] == 'a' ? O_APPEND : O_TRUNC;
  if (m.find('x') != std::string::npos) flags |= O_EXCL;
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, m[0] == 'a' ? "ab" : "wb");
  if (!f) ::close(fd);
  return f;
}

namespace {

// Copies an open file to another; false on a read or write error.
bool CopyAll(int in, int out) {
  std::vector<char> buf(1 << 20);
  for (;;) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

}  // namespace

std::string MoveIntoPlace(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return {};
  if (errno != EXDEV) return std::strerror(errno);
  const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return std::strerror(errno);
  std::string temp = to + ".XXXXXX";
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);  // O_EXCL: never through a link
  if (out < 0) {
    const int err = errno;
    ::close(in);
    return std::strerror(err);
  }
  bool ok = CopyAll(in, out) && ::fchmod(out, 0644) == 0 && ::fsync(out) == 0;
  int err = errno;
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return {};
  }
  if (ok) err = errno;
  ::unlink(temp.c_str());
  return std::strerror(err);
}

std::string UnsafeReleasePath(const std::string& path, const std::string& root, bool folder) {
  struct stat sb {};
  if (::lstat(path.c_str(), &sb) != 0) return {};
  std::error_code ec;
  if (S_ISLNK(sb.st_mode)) {
    const fs::path target = fs::weakly_canonical(fs::path(path), ec);
    const fs::path base = fs::weakly_canonical(fs::path(root), ec);
    const auto rel = target.lexically_relative(base);
    if (ec || rel.empty() || *rel.begin() == "..")
      return "a link to " + target.string() + " outside the release folder";
    if (::stat(path.c_str(), &sb) != 0) return {};
  }
  if (folder && sb.st_uid != ::geteuid()) return "owned by another user";
  return {};
}

std::string PathSep() {
  return std::string(1, static_cast<char>(fs::path::preferred_separator));
}

}  // namespace orvex
