// Arbitrary file names in the release folder, through the searches for the
// release files and the readers of their versions and classes.
//
// Input: one byte that sizes the files, then up to 12 names, one a line
// ("/" and zero bytes, which no name holds, become "_"; "." and ".." are
// skipped). The files are made in a folder in memory (/dev/shm) and the
// searches run there.
//
// Checked against the C library's fnmatch (ignoring case): every search
// finds exactly the files its pattern matches; two files of a kind are
// a conflict and leave none chosen; one is chosen by its name; classes and
// versions stay within their bounds.
#include <fnmatch.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/util.h"
#include "fuzz_world.h"
#include "pic/pic_upgrade.h"
#include "upgrade/local_files.h"

using orvex::fuzz::TheWorld;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Matching(const std::set<std::string>& names, const char* pattern) {
  std::vector<std::string> out;
  for (const auto& n : names)
    if (fnmatch(pattern, n.c_str(), FNM_CASEFOLD) == 0) out.push_back(n);
  return out;  // a set iterates in the order FindFiles sorts in
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  auto& w = TheWorld();
  w.reset();
  orvex::Upgrader& up = *w.up;

  const fs::path folder = fs::path(w.home()) / "release";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directory(folder, ec);
  if (ec) __builtin_trap();

  std::set<std::string> names;
  std::string name;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  for (size_t i = 0; i <= text.size() && names.size() < 12; ++i) {
    if (i < text.size() && text[i] != '\n') {
      name += (text[i] == '/' || text[i] == '\0') ? '_' : text[i];
      continue;
    }
    if (!name.empty() && name.size() <= 200 && name != "." && name != "..") {
      // Sizes from 0 to a few kB: below and above the PIC file's minimum
      // and the IB file's block.
      const size_t bytes = (static_cast<size_t>(data[0]) * 31 + names.size() * 97) % 3000;
      std::ofstream(folder / name, std::ios::binary) << std::string(bytes, 'x');
      names.insert(name);
    }
    name.clear();
  }

  up.st.strHomeDir = folder.string() + "/";
  for (const char* pattern : {"orvex*.bin", "ATB*.sxm", "HPA*.sxm", "*.glo", "PIC*.s19"})
    if (orvex::FindFiles(up.st.strHomeDir, pattern) != Matching(names, pattern)) __builtin_trap();

  const auto atb = Matching(names, "ATB*.sxm");
  const auto hpa = Matching(names, "HPA*.sxm");
  const auto glo = Matching(names, "*.glo");

  up.files.UI_CheckLocalAntennaFirmware();
  if (atb.size() > 1) {
    if (!up.st.strAtbFile.empty() || up.st.refusal != orvex::Refusal::ReleaseFiles)
      __builtin_trap();
  } else {
    if (up.st.strAtbFile != (atb.empty() ? "" : atb.front())) __builtin_trap();
    if (hpa.size() > 1 &&
        (!up.st.strHpaFile.empty() || up.st.refusal != orvex::Refusal::ReleaseFiles))
      __builtin_trap();
    if (hpa.size() <= 1 && up.st.strHpaFile != (hpa.empty() ? "" : hpa.front())) __builtin_trap();
    if (atb.size() == 1) {
      if (up.st.locAtbClassId < 0 || up.st.locAtbClassId > 5) __builtin_trap();
      if ((up.st.locAtbClassId == 5) != up.files.strLocAtbVer.empty() ||
          up.files.strLocAtbVer.size() > 2)
        __builtin_trap();
    }
    if (hpa.size() == 1) {
      if (up.st.locHpaClassId < 0 || up.st.locHpaClassId > 5) __builtin_trap();
      if ((up.st.locHpaClassId == 5) != up.files.strLocHpaVer.empty() ||
          up.files.strLocHpaVer.size() > 2)
        __builtin_trap();
    }
  }

  up.st.refusal = orvex::Refusal::None;
  up.st.ibImageBlocks = 0;
  up.files.strLocIbVer.clear();
  up.files.UI_CheckLocalIbFirmware();
  if (glo.size() > 1) {
    if (!up.st.strGloFile.empty() || up.st.refusal != orvex::Refusal::ReleaseFiles)
      __builtin_trap();
  } else if (glo.empty()) {
    if (!up.st.strGloFile.empty() || up.st.bIbFwAvailable) __builtin_trap();
  } else {
    if (up.st.strGloFile != glo.front()) __builtin_trap();
    const std::string& ver = up.files.strLocIbVer;
    if (up.st.bIbFwAvailable) {
      if (ver.size() != 5 || ver[2] != '.' || up.st.ibImageBlocks < 1) __builtin_trap();
    } else if (!ver.empty()) {
      __builtin_trap();
    }
  }

  up.pic.UI_CheckLocalPICFirmware();
  const auto pic = Matching(names, "PIC*.s19");
  if (up.st.strLocalPicFile != (pic.empty() ? "" : pic.front())) __builtin_trap();

  for (const auto& image : Matching(names, "orvex*.bin")) {
    up.files.Util_IdentifyPackagedPlatformBin(image);
    if (up.st.pkgPlatformId < 0 || up.st.pkgPlatformId > 11 || up.st.pkgPlatformId == 10)
      __builtin_trap();
  }
  w.forget();
  return 0;
}
