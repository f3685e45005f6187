#pragma once
// The three camera URLs: the program-wide slots, their defaults, and their composition
// from a twelve-digit camera address.
//
// The slots are read by the workers while the window thread may write them (URL dialog),
// so every accessor hands out a whole copy taken under a lock: a reader sees either the
// old URL or the new one, never a mix.

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

std::string GetImageUrl();
std::string GetReceiveUrl();
std::string GetTransmitUrl();
CameraUrls GetCameraUrls();

// Replace slots; each value is cut to kMaxUrlChars characters.
void SetImageUrl(std::string_view url);
void SetReceiveUrl(std::string_view url);
void SetTransmitUrl(std::string_view url);
// All three at once, so that no reader sees a mix of old and new.
void SetCameraUrls(const CameraUrls& urls);
// Back to the defaults built from kDefaultCameraAddress.
void ResetCameraUrls();

// First `max_chars` characters of UTF-8 text, never splitting a multi-byte sequence.
std::string CutToChars(std::string_view text, size_t max_chars);

// Twelve digits (three per group) to the dotted form: each group loses its leading
// zeros, "000" gives "0". `digits` must hold at least 12 characters.
std::string DottedAddress(std::string_view digits);

// The first word of the command line: when its first 12 characters are decimal digits,
// all three slots take the URLs built from them (later characters are ignored) and the
// result is true; otherwise nothing changes and the result is false.
bool SetUrlsFromAddress(std::string_view text);

}  // namespace vantorel
