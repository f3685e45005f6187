// The two texts the settings take from outside: the parameter file and the command line's
// address. Checks that every line fits a slot and that an address either builds three
// well-formed URLs or changes nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/camera_settings.h"
#include "settings/parameter_file.h"

namespace {

size_t CountChars(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantorel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::string lines[3];
  const int count = ParseParameterLines(text, lines);
  if (count < 0 || count > 3) std::abort();
  for (int i = 0; i < count; ++i) {
    if (CountChars(lines[i]) > kMaxUrlChars) std::abort();
    if (lines[i].find('\n') != std::string::npos) std::abort();
  }

  // Whatever three URLs hold, the file text made from them reads back as three lines, each
  // the URL without its control characters.
  if (count == 3) {
    std::string again[3];
    if (ParseParameterLines(ParameterFileText({lines[0], lines[1], lines[2]}), again) != 3) std::abort();
    for (int i = 0; i < 3; ++i) {
      std::string expected;
      for (unsigned char c : lines[i]) {
        if (c >= 0x20 && c != 0x7F) expected += static_cast<char>(c);
      }
      // A first URL that begins with a byte-order mark loses it, as any file would.
      if (i == 0 && expected.rfind("\xEF\xBB\xBF", 0) == 0) expected.erase(0, 3);
      if (again[i] != expected) std::abort();
    }
  }

  CameraSettings settings;
  const CameraUrls before = settings.GetCameraUrls();
  if (settings.SetUrlsFromAddress(text)) {
    // "http://" + four groups of one to three digits + the still's path.
    const std::string image = settings.GetImageUrl();
    const std::string_view path = kImagePath;
    if (image.rfind("http://", 0) != 0 || image.size() < 7 + path.size() ||
        image.compare(image.size() - path.size(), path.size(), path) != 0) {
      std::abort();
    }
    const std::string address = image.substr(7, image.size() - 7 - path.size());
    int dots = 0;
    for (char c : address) {
      if (c == '.') ++dots;
      else if (c < '0' || c > '9') std::abort();
    }
    if (dots != 3 || address.size() < 7 || address.size() > 15) std::abort();
  } else if (!(settings.GetCameraUrls() == before)) {
    std::abort();
  }
  return 0;
}
