#pragma once
// The three camera URLs as values: their defaults, their composition from a twelve-digit
// camera address, and the character limit of a slot. The slots themselves live in a
// CameraSettings object (camera_settings.h).

#include <optional>
#include <string>
#include <string_view>

namespace vantorel {

// At most this many characters (Unicode code points, stored as UTF-8) per slot.
inline constexpr size_t kMaxUrlChars = 1023;

// The factory address of these cameras; used only to build the defaults.
inline constexpr const char* kDefaultCameraAddress = "192.168.0.90";

inline constexpr const char* kImagePath = "/axis-cgi/jpg/image.cgi?resolution=320x240";
inline constexpr const char* kReceivePath = "/axis-cgi/audio/receive.cgi";
inline constexpr const char* kTransmitPath = "/axis-cgi/audio/transmit.cgi";

struct CameraUrls {
  std::string image;     // the JPEG still
  std::string receive;   // the audio stream from the camera ("マイクURL")
  std::string transmit;  // the audio upload to the camera ("スピーカーURL")
  bool operator==(const CameraUrls&) const = default;
};

// The three URLs built from a dotted address ("http://" + address + path).
CameraUrls UrlsForAddress(std::string_view dotted_address);
// The URLs before any file is read: built from kDefaultCameraAddress.
CameraUrls DefaultCameraUrls();

// First `max_chars` characters of UTF-8 text, never splitting a multi-byte sequence.
std::string CutToChars(std::string_view text, size_t max_chars);
// Each URL cut to kMaxUrlChars characters.
CameraUrls CutUrls(const CameraUrls& urls);

// Twelve digits (three per group) to the dotted form: each group loses its leading
// zeros, "000" gives "0". `digits` must hold at least 12 characters.
std::string DottedAddress(std::string_view digits);

// The first word of the command line: when its first 12 characters are decimal digits,
// the three URLs built from them (later characters are ignored); otherwise nothing.
std::optional<CameraUrls> UrlsFromAddressText(std::string_view text);

}  // namespace vantorel
