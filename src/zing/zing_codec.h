// The byte level of ZING: request encoding and the readers of reply fields.
// Every reader stays inside the received bytes: a field that runs past the
// end of the data is cut there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex {

// The terminal's ZING port.
inline constexpr int kZingPort = 1827;

// The reply code of a request is the request code plus this offset.
inline constexpr long kZingReplyOffset = 0x1000;

// The ZING request codes.
enum ZingCode : long {
  ZING_GET_SW_VERSION = 0x04,
  ZING_RESET = 0x0D,
  ZING_RESTORE_DEFAULTS = 0x13,
  ZING_CHECK_DISK = 0x32,
  ZING_HALT_STACK = 0x33,
  ZING_UPGRADE_ANTENNA = 0x90,
  ZING_RELEASE_INFO = 0x92,
  ZING_IB_UPGRADE_STATUS = 0x93,
  ZING_IB_UPGRADE_PREPARE = 0x94,
};

// Longest text a reply field carries.
inline constexpr long kZingMaxText = 256;

// The longest reply taken from the terminal; a longer one is dropped, but
// for a release text, which is read up to this length.
inline constexpr size_t kZingMaxReply = 16384;

// Where one reply ends in the bytes received so far on a connection. The
// terminal may hand a reply over in pieces: a reply is complete when the
// bytes its layout announces are there (a version text ends at its zero
// byte; antenna and release replies carry the length of their text).
struct ZingReplyFrame {
  enum Status { kIncomplete, kComplete, kTooLong };
  Status status = kIncomplete;
  size_t length = 0;  // bytes of the first reply when complete
  size_t needed = 0;  // bytes known to be needed so far; 0 while no end is known
  long code = 0;      // its response code, once 4 bytes are there
};
// A reply of a code not known here takes all the bytes received.
ZingReplyFrame ZingFrameReply(const std::string& bytes, size_t maxLength = kZingMaxReply);

// 00 00 hi lo: the code as a 32-bit big-endian number (only 16 bits usable).
std::string ZingEncodeRequest(long code);
// The same followed by one argument byte.
std::string ZingEncodeRequestArg(long code, std::uint8_t arg);

// The big-endian number in `count` bytes from index `start`. Bytes past the
// end of the data are not read: the number is made of those that exist.
std::int64_t Util_BytesToLong(const std::string& bytes, int count, int start);
// As Util_BytesToLong, but a byte 0xFF sets the value to 0 instead of adding.
std::int64_t Util_BytesToStatus(const std::string& bytes, int count, int start);
// The characters from `start` on, at most `count`, up to the first zero byte
// or the end of the data. A count of 0 or less gives "".
std::string Util_BytesToString(const std::string& bytes, long count, int start);

// Every occurrence of `from` replaced by `to` ("_" to "." and back).
std::string Util_ReplaceChar(const std::string& text, const std::string& from,
                             const std::string& to);
// The digits and dots of the part before the first blank ("5.1.0.12 Rel, ..."
// gives "5.1.0.12"); a text without a blank is taken whole.
std::string Util_VersionDigits(const std::string& text);

}  // namespace orvex
