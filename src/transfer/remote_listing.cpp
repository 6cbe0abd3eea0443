#include "transfer/remote_listing.h"

#include <vector>

#include "app/util.h"

namespace orvex {

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    if (pos > start) words.push_back(line.substr(start, pos - start));
  }
  return words;
}

std::optional<long long> Number(const std::string& word) {
  // Eighteen digits hold any file size and cannot overflow.
  if (word.empty() || word.size() > 18) return std::nullopt;
  long long v = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool UnixModes(const std::string& word) {
  if (word.size() != 10) return false;
  if (std::string("-dlcbps").find(word[0]) == std::string::npos) return false;
  for (size_t i = 1; i < word.size(); ++i)
    if (std::string("-rwxsStT").find(word[i]) == std::string::npos) return false;
  return true;
}

std::optional<long long> SizeOfLine(const std::vector<std::string>& words) {
  if (UnixModes(words.front())) {
    if (words.front()[0] != '-' || words.size() < 9) return std::nullopt;
    return Number(words[4]);
  }
  for (size_t i = 0; i + 1 < words.size(); ++i)
    if (auto v = Number(words[i])) return v;
  return std::nullopt;
}

}  // namespace

std::string NameAsSent(const std::string& entry) {
  const std::string t = Trim(entry);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
  return t;
}

std::optional<long long> SizeInLongListing(const std::string& listing, const std::string& name) {
  if (name.empty() || listing.size() > kMaxListingBytes) return std::nullopt;
  std::optional<long long> found;
  int matches = 0;
  size_t pos = 0;
  while (pos <= listing.size()) {
    size_t end = listing.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = listing.size();
    const auto words = Words(listing.substr(pos, end - pos));
    if (words.size() >= 2 && EqualsNoCase(words.back(), name)) {
      ++matches;
      found = SizeOfLine(words);
    }
    pos = end + 1;
  }
  if (matches != 1) return std::nullopt;
  return found;
}

}  // namespace orvex
