// Arbitrary bytes as the image.txt fetched from the terminal, through its
// check, and then the deletion rule on a listing that names the image it
// accepted.
//
// Checked: an accepted image.txt gives exactly its one line as the running
// image, short and of the form /bin/...bin; a rejected one gives none; and
// the image an accepted image.txt names survives the deletion rule, however
// the listing spells it.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "app/util.h"
#include "fuzz_world.h"
#include "transfer/software_upgrade.h"

using orvex::fuzz::TheWorld;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto& w = TheWorld();
  w.reset();
  orvex::Upgrader& up = *w.up;
  up.st.strHomeDir = w.home() + "/";
  up.st.strCurrSwVersion = "5_1_0_9";
  {
    std::ofstream f(up.st.strHomeDir + "image.txt", std::ios::binary | std::ios::trunc);
    f << bytes;
  }
  up.sw.bImageValid = false;
  up.sw.strCurrExecutable = "left over";
  const bool accepted = up.sw.UPG_CheckRetrievedImage();

  std::string line;
  for (char c : bytes)
    if (c != '\r' && c != '\n') line += c;
  const std::string& running = up.sw.strCurrExecutable;
  if (!accepted) {
    if (!running.empty() || up.sw.bImageValid) __builtin_trap();
    w.forget();
    return 0;
  }
  if (!up.sw.bImageValid || running != line || running.size() >= 50 ||
      running.rfind("/bin/", 0) != 0 || !orvex::Contains(orvex::Right(running, 6), ".bin"))
    __builtin_trap();

  // The name the terminal boots, as the listing of /tffs0/bin shows it, and
  // ways a listing may spell it.
  const std::string cleaned = orvex::Trim(running);
  const std::string name = cleaned.substr(5);
  std::string upper = name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const std::string listing = name + "\r\n./" + name + "\r\n" + upper + "\r\n/tffs0/bin/" + name +
                              "\r\n" + name + "\t\r\norvex_0_0_0_1.bin\r\n";
  auto& ftp = w.p.ftp();
  ftp.commands.clear();
  ftp.chunks = {listing};
  ftp.onExecute = [](orvex::test::FakeFtpClient& f, const std::string&) { f.executing = false; };
  ftp.executing = false;
  up.st.bFtpDone = false;
  up.sw.UPG_HandleOldBinDeletions();
  for (const auto& c : ftp.commands) {
    const std::string deleted = c.substr(7);
    if (orvex::EqualsNoCase(deleted, name) || orvex::EqualsNoCase(orvex::Trim(deleted), name))
      __builtin_trap();
  }
  ftp.chunks.clear();
  w.forget();
  return 0;
}
