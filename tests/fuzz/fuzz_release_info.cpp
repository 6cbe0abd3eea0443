// Arbitrary text as the terminal's release information and version text:
// the field readers, the build date, and the procedures that show them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_world.h"
#include "zing/terminal_text.h"
#include "zing/zing_codec.h"

using orvex::fuzz::TheWorld;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  for (const char* key : {"PIC: ", "IB: ", "ATB: ", "AHW: ", "HPA: ", "ASN: ", "CLASS: "}) {
    const std::string value = orvex::ReleaseInfoField(text, key);
    if (value.size() > text.size()) __builtin_trap();
    (void)orvex::AntennaClassFromValue(value, 1, 5);
  }
  const std::string kept = orvex::ReleaseDatePart(text);
  if (auto d = orvex::ReadCalendarDate(kept)) {
    if (d->month < 1 || d->month > 12 || d->day < 1 || d->day > 31) __builtin_trap();
    (void)orvex::DaysFromCivil(*d);
  }
  (void)orvex::PlatformIdFromVersion(orvex::Util_VersionDigits(text));

  auto& w = TheWorld();
  w.reset();
  orvex::ZingChannel& z = w.up->zing;
  (void)z.Util_CheckReleaseDate(text);
  z.Util_GrabTermPICVersion(text);
  z.Util_GrabTermIBVersion(text);
  if (z.Util_AntennaInfoCheck(text)) z.Util_GrabTermAntennaVersions(text);
  w.forget();
  return 0;
}
