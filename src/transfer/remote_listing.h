// Reading what the terminal's FTP server lists: the size of one file in a
// long folder listing ("DIR "). Everything here comes from the terminal and
// is treated as untrusted text.
#pragma once

#include <optional>
#include <string>

namespace orvex {

// The most of a listing the engine reads; a longer one is not a listing of
// the terminal's few files.
inline constexpr size_t kMaxListingBytes = 1024 * 1024;

// The size in bytes of `name` in a long listing, as an old embedded server
// writes it: unix "ls -l" lines (permissions, links, owner, group, size,
// date, name) or "size date time name" lines. The name is compared without
// regard to case, as the flash file system does. Nothing when the file is
// not listed, is listed more than once, or its size cannot be read.
std::optional<long long> SizeInLongListing(const std::string& listing, const std::string& name);

// A listing entry as a command argument reaches the terminal: the FTP client
// takes one pair of surrounding double quotes off a name.
std::string NameAsSent(const std::string& entry);

}  // namespace orvex
