// Arbitrary text as the terminal's "LS " listing of its bin folder, through
// the listing reader and the deletion rule of the software upgrade.
//
// Input: two bytes of set-up, the running image's name, then the listing.
//   0  bit 0: image.txt was valid; bits 1..7: seed of the chunk sizes
//   1  length of the running image's name (strCurrExecutable), mod 64
//
// Checked: whatever the listing says, the running image (the name image.txt
// gives, the version the terminal reports, or orvex.bin without image.txt)
// is never deleted; only plain image names from the listing are; and the
// same listing in other chunks deletes the same files.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/util.h"
#include "fuzz_world.h"
#include "transfer/software_upgrade.h"

using orvex::fuzz::TheWorld;

namespace {

constexpr const char* kRunningVersion = "5_1_0_9";

std::vector<std::string> Deletions(orvex::fuzz::World& w, const std::vector<std::string>& chunks,
                                   bool imageValid, const std::string& executable) {
  w.reset();
  orvex::Upgrader& up = *w.up;
  auto& ftp = w.p.ftp();
  ftp.commands.clear();
  ftp.chunks.assign(chunks.begin(), chunks.end());
  // Every delete is accepted at once.
  ftp.onExecute = [](orvex::test::FakeFtpClient& f, const std::string&) { f.executing = false; };
  ftp.executing = false;
  up.st.strCurrSwVersion = kRunningVersion;
  up.st.bFtpDone = false;
  up.sw.bImageValid = imageValid;
  up.sw.strCurrExecutable = executable;
  up.sw.UPG_HandleOldBinDeletions();
  std::vector<std::string> out;
  for (const auto& c : ftp.commands) {
    if (c.rfind("Delete ", 0) != 0) __builtin_trap();  // nothing but deletes
    out.push_back(c.substr(7));
  }
  ftp.chunks.clear();
  w.forget();
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return Lower(text).find(Lower(part)) != std::string::npos;
}

bool PlainName(const std::string& name) {
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == '*' || c == '?') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool imageValid = data[0] & 1;
  const size_t nameLength = std::min<size_t>(data[1] % 64, size - 2);
  const std::string executable(reinterpret_cast<const char*>(data + 2), nameLength);
  const std::string listing(reinterpret_cast<const char*>(data + 2 + nameLength),
                            size - 2 - nameLength);

  // The same bytes whole, and in pieces of 1 to 64 bytes.
  std::vector<std::string> whole;
  if (!listing.empty()) whole.push_back(listing);
  const std::vector<std::string> pieces = orvex::fuzz::Pieces(listing, data[0] >> 1, 64);

  auto& w = TheWorld();
  const auto deleted = Deletions(w, whole, imageValid, executable);
  if (Deletions(w, pieces, imageValid, executable) != deleted) __builtin_trap();

  // What the deletion rule compares against: the running name without its
  // line ends and surrounding blanks.
  std::string running = executable;
  for (char& c : running)
    if (c == '\n') c = ' ';
  running = orvex::Trim(running);
  const std::string base = running.substr(running.find_last_of('/') + 1);

  // The listing as the reader splits it: its line feeds read as blanks.
  std::string joined = listing;
  for (char& c : joined)
    if (c == '\n') c = ' ';
  for (const auto& name : deleted) {
    if (name.empty() || name == " " || !PlainName(name)) __builtin_trap();
    if (!orvex::Contains(name, "orvex") || !orvex::Contains(name, ".bin")) __builtin_trap();
    if (!orvex::Contains(joined, name)) __builtin_trap();
    if (orvex::EqualsNoCase(name, std::string("orvex_") + kRunningVersion + ".bin"))
      __builtin_trap();
    if (imageValid) {
      if (running.empty() || ContainsNoCase(running, name)) __builtin_trap();
      if (orvex::EqualsNoCase(name, base)) __builtin_trap();
    } else if (orvex::EqualsNoCase(name, "orvex.bin")) {
      __builtin_trap();
    }
  }
  return 0;
}
