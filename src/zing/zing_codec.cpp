#include "zing/zing_codec.h"

#include <algorithm>

namespace orvex {

std::string ZingEncodeRequest(long code) {
  std::string out(4, '\0');
  out[2] = static_cast<char>((code >> 8) & 0xFF);
  out[3] = static_cast<char>(code & 0xFF);
  return out;
}

std::string ZingEncodeRequestArg(long code, std::uint8_t arg) {
  std::string out = ZingEncodeRequest(code);
  out.push_back(static_cast<char>(arg));
  return out;
}

namespace {

template <typename Step>
std::int64_t ReadBigEndian(const std::string& bytes, int count, int start, Step step) {
  std::uint64_t value = 0;
  if (start < 0 || count <= 0) return 0;
  const size_t first = static_cast<size_t>(start);
  for (size_t i = first; i < bytes.size() && i - first < static_cast<size_t>(count); ++i)
    value = step(value, static_cast<unsigned char>(bytes[i]));
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t Util_BytesToLong(const std::string& bytes, int count, int start) {
  return ReadBigEndian(bytes, count, start,
                       [](std::uint64_t v, unsigned char b) { return v * 256 + b; });
}

std::int64_t Util_BytesToStatus(const std::string& bytes, int count, int start) {
  return ReadBigEndian(bytes, count, start, [](std::uint64_t v, unsigned char b) {
    return b == 0xFF ? std::uint64_t{0} : v * 256 + b;
  });
}

std::string Util_BytesToString(const std::string& bytes, long count, int start) {
  std::string out;
  if (count <= 0 || start < 0) return out;
  for (size_t i = static_cast<size_t>(start);
       i < bytes.size() && out.size() < static_cast<size_t>(count); ++i) {
    if (bytes[i] == '\0') break;
    out.push_back(bytes[i]);
  }
  return out;
}

ZingReplyFrame ZingFrameReply(const std::string& bytes, size_t maxLength) {
  ZingReplyFrame f;
  if (bytes.size() < 4) return f;
  f.code = static_cast<long>(Util_BytesToLong(bytes, 4, 0));
  // The whole reply once `total` bytes are there; a length field read from
  // the terminal is bounded before it is added.
  auto sized = [&](std::uint64_t total) {
    f.needed = static_cast<size_t>(std::min<std::uint64_t>(total, maxLength + 1));
    if (total > maxLength) {
      f.status = ZingReplyFrame::kTooLong;
    } else if (bytes.size() >= total) {
      f.status = ZingReplyFrame::kComplete;
      f.length = static_cast<size_t>(total);
    }
    return f;
  };
  // Not yet the bytes that tell the reply's length.
  auto header = [&](size_t n) {
    f.needed = n;
    return f;
  };
  auto word = [&](int at) { return static_cast<std::uint64_t>(Util_BytesToLong(bytes, 4, at)); };
  switch (f.code) {
    case ZING_GET_SW_VERSION + kZingReplyOffset: {
      const size_t zero = bytes.size() > 8 ? bytes.find('\0', 8) : std::string::npos;
      if (zero != std::string::npos) return sized(zero + 1);
      if (bytes.size() > maxLength) f.status = ZingReplyFrame::kTooLong;
      return f;
    }
    case ZING_RESTORE_DEFAULTS + kZingReplyOffset:
    case ZING_CHECK_DISK + kZingReplyOffset:
    case ZING_HALT_STACK + kZingReplyOffset:
    case ZING_IB_UPGRADE_PREPARE + kZingReplyOffset: return sized(8);
    case ZING_UPGRADE_ANTENNA + kZingReplyOffset:
      if (bytes.size() < 16) return header(16);
      return sized(16 + word(12));
    case ZING_RELEASE_INFO + kZingReplyOffset:
      if (bytes.size() < 12) return header(12);
      // An invalid length (0) carries no text to wait for. A length that
      // promises more than a reply may hold is read as far as the cap: the
      // text is what arrives by then, or by the reply time-out.
      return word(8) < 1 ? sized(12) : sized(std::min<std::uint64_t>(16 + word(8), maxLength));
    case ZING_IB_UPGRADE_STATUS + kZingReplyOffset:
      if (bytes.size() < 8) return header(8);
      return word(4) < 1 ? sized(8) : sized(12);
    default: return sized(bytes.size());
  }
}

std::string Util_ReplaceChar(const std::string& text, const std::string& from,
                             const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  size_t pos = 0;
  for (;;) {
    const size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

std::string Util_VersionDigits(const std::string& text) {
  const std::string head = text.substr(0, text.find(' '));
  std::string out;
  for (char c : head)
    if ((c >= '0' && c <= '9') || c == '.') out.push_back(c);
  return out;
}

}  // namespace orvex
