// The local release files beside the program: the antenna ATB/HPA parts and
// the IB firmware, their versions and classes, and the platform of the image.
#pragma once

#include <string>

#include "app/part.h"

namespace orvex {

class LocalFiles : public Part {
 public:
  explicit LocalFiles(Upgrader& up) : Part(up) {}
  // The files the upgrader sends and the Backup folder, checked against
  // links that leave the release folder and a Backup of another user: the
  // message naming the first such path, or "".
  std::string CheckReleaseLinks() const;
  void Util_IdentifyPackagedPlatformBin(const std::string& version);
  void UI_CheckLocalAntennaFirmware();
  void UI_CheckLocalIbFirmware();
  void GetLocATBVersionInfo(const std::string& fileName);
  void GetLocHPAVersionInfo(const std::string& fileName);

  std::string strLocAtbVer;
  std::string strLocHpaVer;
  std::string strLocIbVer;
};

}  // namespace orvex
