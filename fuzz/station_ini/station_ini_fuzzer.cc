// vantorel.ini as anyone may write it: whatever the text, the settings stay in their
// ranges, and writing the door section back gives a file that reads as the same door.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/station_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantorel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const StationIni ini = ParseStationIni(text);
  const DoorSettings& d = ini.door;
  if (d.button < 0 || d.button > 64 || d.relay < 0 || d.relay > 64 || d.open_ms < 100 || d.open_ms > 600000) {
    std::abort();
  }
  if (ini.talk.idle_s < 5 || ini.talk.idle_s > 3600) std::abort();
  if (d.quiet && (d.quiet->start < 0 || d.quiet->start >= 1440 || d.quiet->end < 0 || d.quiet->end > 1440)) {
    std::abort();
  }
  // A chime path with a line end or that inih would cut cannot be written back faithfully.
  if (d.chime.find_first_of("\r\n;#") != std::string::npos || d.chime.size() > 150) return 0;
  const StationIni again = ParseStationIni(StationIniText(d, text));
  if (!(again.door == d)) std::abort();
  return 0;
}
