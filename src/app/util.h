// Small text and file helpers shared by every subsystem.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orvex {

inline constexpr const char* CRLF = "\r\n";

std::string Trim(const std::string& s);
std::string LTrim(const std::string& s);
std::string BoolText(bool b);  // "True" / "False"
// "/x" is written by the caller; this gives upper-case hex without leading zeros.
std::string HexUpper(unsigned long value);
bool Contains(const std::string& text, const std::string& part);
bool StartsWith(const std::string& text, const std::string& prefix);
bool EndsWith(const std::string& text, const std::string& suffix);
bool EqualsNoCase(const std::string& a, const std::string& b);
// The first n characters (all of them when shorter).
std::string Left(const std::string& s, size_t n);
std::string Right(const std::string& s, size_t n);

// Wildcard match ('*' and '?') that ignores letter case (ASCII).
bool WildcardMatch(const std::string& pattern, const std::string& name);
// Names of the regular files in `folder` whose names match `pattern`,
// ignoring case, in a stable sorted order. Never throws: an unreadable or
// missing folder gives an empty list.
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);
bool FolderExists(const std::string& folder);
bool FileExists(const std::string& path);
// -1 when the file cannot be read.
long long FileLength(const std::string& path);
// Opens a file to write ("wb", "ab", "wbx") without following a link at
// its name: a link there makes the open fail (ELOOP). nullptr on failure.
std::FILE* OpenForWrite(const std::string& path, const char* mode);
// Moves a complete file to its final name, replacing what is there; across
// file systems through a private temporary name beside the final one, so
// the final name only ever holds a complete copy. "" or the reason.
std::string MoveIntoPlace(const std::string& from, const std::string& to);
// Why `path` (a file or folder of the release folder `root`) must not be
// used: "a link to T outside the release folder", or for a folder "owned by
// another user". "" when it may be used or is not there.
std::string UnsafeReleasePath(const std::string& path, const std::string& root, bool folder);
// The platform's path separator as text.
std::string PathSep();

}  // namespace orvex
