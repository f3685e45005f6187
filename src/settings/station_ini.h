#pragma once
// vantorel.ini: the settings that the parameter file (three URLs, a format that never
// changes) has no room for, beside it in the program directory. Every section is optional;
// without the file the program behaves exactly as without these features.
//
//   [door]              the call button and the door opener
//   button = 1          input port of the call button (absent or 0: no ringing)
//   relay = 1           output port of the door opener (absent: no opener)
//   open_ms = 3000      how long the opener is pulsed
//   chime = FILE.wav    the ring's sound (default: a chime of our own)
//   quiet = 22:00-07:00 no chime then; the ring is still shown and kept
//
//   [talk]
//   mode = open | hold  a tap starts and ends the talk (open), or push-to-talk (hold)
//   idle_s = 60         hold: the talk ends after this long without a press
//   duck = on | off     the camera's sound 20 dB softer while the microphone is sent
//   echo_cancel = on | off
//
//   [camera]
//   dialect = auto | design | current   which sound and talk dialect the camera speaks
//
// Read with inih (a small INI library). A line that cannot be used is named in a message
// and ignored; nothing here is ever fatal.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel {

inline constexpr const char* kStationIniName = "vantorel.ini";
// Longer files are not ours; longer lines are refused (inih reads lines of up to 199).
inline constexpr size_t kMaxStationIniBytes = 64 * 1024;

// A span of the day, minutes after midnight; it may run across midnight (22:00-07:00).
struct QuietHours {
  int start = 0;  // first minute inside
  int end = 0;    // first minute outside (1440: the day's end)
  bool Contains(int minute_of_day) const;
  bool operator==(const QuietHours&) const = default;
};
// "HH:MM-HH:MM"; nullopt for anything else.
std::optional<QuietHours> ParseQuietHours(std::string_view text);

struct DoorSettings {
  int button = 0;             // 0: no ringing
  int relay = 0;              // 0: no opener
  int open_ms = 3000;
  std::string chime;          // empty: our own chime
  std::optional<QuietHours> quiet;
  bool operator==(const DoorSettings&) const = default;
};

enum class TalkMode { kOpen, kHold };
enum class CameraDialect { kAuto, kDesign, kCurrent };

struct TalkSettings {
  TalkMode mode = TalkMode::kOpen;
  int idle_s = 60;
  std::optional<bool> duck;   // unset: on in hold mode, off in open mode
  bool echo_cancel = true;
  bool Ducks() const { return duck.value_or(mode == TalkMode::kHold); }
  bool operator==(const TalkSettings&) const = default;
};

struct StationIni {
  bool has_door = false;   // a [door] section was there
  bool has_talk = false;   // a [talk] section was there
  DoorSettings door;
  TalkSettings talk;
  CameraDialect dialect = CameraDialect::kAuto;
  // One line per problem: "vantorel.ini line 4: open_ms must be 100 to 600000; ignored".
  std::vector<std::string> problems;
};

// The settings in `text`; what cannot be used is named in `problems` and left at its default.
StationIni ParseStationIni(std::string_view text);

// Reads the file at `path` (only a regular file, at most kMaxStationIniBytes). A missing
// file gives the defaults and no problem; an unreadable or oversized one a problem.
StationIni LoadStationIni(const std::string& path);

// Puts `door` into the file at `path` (StationIniText: the file's other sections kept),
// written the way every file is (files/replacing_file.h; a new file gets mode 0600). A file
// there that is not a regular one, or too long to be ours, is not replaced. False with a
// one-line reason naming the file.
bool SaveDoorSettings(const std::string& path, const DoorSettings& door, std::string& error);

// The file's text for `ini`'s door settings (the window's door dialog writes it), keeping
// the other sections of `previous` (the file as it was) as they were.
std::string StationIniText(const DoorSettings& door, std::string_view previous);

}  // namespace vantorel
