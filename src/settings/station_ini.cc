#include "settings/station_ini.h"

#include <fcntl.h>
#include <ini.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "files/replacing_file.h"
#include "runtime/ascii.h"

namespace vantorel {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::optional<int> Number(std::string_view text, int low, int high) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<bool> OnOff(std::string_view text) {
  const std::string v = AsciiLower(text);
  if (v == "on" || v == "yes" || v == "true" || v == "1") return true;
  if (v == "off" || v == "no" || v == "false" || v == "0") return false;
  return std::nullopt;
}

// Hands inih the text line by line, so that every message can name its line.
struct Reading {
  std::string_view rest;
  int line = 0;           // the line inih is working on
  bool used = false;      // the handler took it
  bool needs_use = false; // it is a name = value line (not blank, comment or section)
  StationIni ini;

  void Problem(const std::string& what) {
    ini.problems.push_back(std::string(kStationIniName) + " line " + std::to_string(line) + ": " + what);
  }
  void Finish() {
    if (needs_use && !used) Problem("not a \"name = value\" line; ignored");
    needs_use = used = false;
  }
};

char* ReadLine(char* buffer, int size, void* context) {
  auto& r = *static_cast<Reading*>(context);
  r.Finish();
  if (r.rest.empty()) return nullptr;
  const size_t end = std::min(r.rest.find('\n'), r.rest.size());
  std::string_view line = r.rest.substr(0, end);
  r.rest.remove_prefix(std::min(end + 1, r.rest.size()));
  ++r.line;
  if (line.size() >= static_cast<size_t>(size) - 1) {
    r.Problem("longer than " + std::to_string(size - 2) + " characters; ignored");
    line = line.substr(0, 0);  // empty, but still pointing somewhere: memcpy takes no null
  }
  std::memcpy(buffer, line.data(), line.size());
  buffer[line.size()] = '\n';
  buffer[line.size() + 1] = '\0';
  const std::string_view shown = Trim(line);
  r.needs_use = !shown.empty() && shown.front() != ';' && shown.front() != '#' && shown.front() != '[';
  if (!shown.empty() && shown.front() == '[' && shown.find(']') == std::string_view::npos) {
    r.Problem("a section name without its ']'; ignored");
  }
  return buffer;
}

int Take(void* context, const char* section_text, const char* name_text, const char* value_text) {
  auto& r = *static_cast<Reading*>(context);
  r.used = true;
  const std::string section = AsciiLower(section_text);
  const std::string name = AsciiLower(name_text);
  const std::string_view value = Trim(value_text);
  const auto bad = [&](const std::string& why) { r.Problem(name + " " + why + "; ignored"); };
  if (section == "door") {
    r.ini.has_door = true;
    DoorSettings& d = r.ini.door;
    if (name == "button" || name == "relay") {
      const auto port = Number(value, 0, 64);
      if (!port) {
        bad("must be a port number from 0 to 64");
        return 1;
      }
      (name == "button" ? d.button : d.relay) = *port;
    } else if (name == "open_ms") {
      const auto ms = Number(value, 100, 600000);
      if (!ms) {
        bad("must be 100 to 600000 (milliseconds)");
        return 1;
      }
      d.open_ms = *ms;
    } else if (name == "chime") {
      d.chime = value;
    } else if (name == "quiet") {
      d.quiet = ParseQuietHours(value);
      if (!d.quiet) bad("must be hours such as 22:00-07:00");
    } else {
      bad("is not a door setting");
    }
  } else if (section == "talk") {
    r.ini.has_talk = true;
    TalkSettings& t = r.ini.talk;
    if (name == "mode") {
      const std::string mode = AsciiLower(value);
      if (mode != "open" && mode != "hold") {
        bad("must be open or hold");
        return 1;
      }
      t.mode = mode == "open" ? TalkMode::kOpen : TalkMode::kHold;
    } else if (name == "idle_s") {
      const auto seconds = Number(value, 5, 3600);
      if (!seconds) {
        bad("must be 5 to 3600 (seconds)");
        return 1;
      }
      t.idle_s = *seconds;
    } else if (name == "duck" || name == "echo_cancel") {
      const auto on = OnOff(value);
      if (!on) {
        bad("must be on or off");
        return 1;
      }
      if (name == "duck") {
        t.duck = *on;
      } else {
        t.echo_cancel = *on;
      }
    } else {
      bad("is not a talk setting");
    }
  } else if (section == "camera") {
    if (name == "dialect") {
      const std::string d = AsciiLower(value);
      if (d == "auto") {
        r.ini.dialect = CameraDialect::kAuto;
      } else if (d == "design") {
        r.ini.dialect = CameraDialect::kDesign;
      } else if (d == "current") {
        r.ini.dialect = CameraDialect::kCurrent;
      } else {
        bad("must be auto, design or current");
      }
    } else {
      bad("is not a camera setting");
    }
  } else {
    r.Problem(section.empty() ? "a setting outside any section; ignored"
                              : "section [" + section + "] is not one of door, talk, camera; ignored");
  }
  return 1;
}

}  // namespace

bool QuietHours::Contains(int minute_of_day) const {
  if (start == end) return false;
  if (start < end) return minute_of_day >= start && minute_of_day < end;
  return minute_of_day >= start || minute_of_day < end;  // across midnight
}

std::optional<QuietHours> ParseQuietHours(std::string_view text) {
  const auto minute = [](std::string_view hhmm) -> std::optional<int> {
    hhmm = Trim(hhmm);
    const size_t colon = hhmm.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || hhmm.size() - colon != 3) return std::nullopt;
    const auto h = Number(hhmm.substr(0, colon), 0, 24);
    const auto m = Number(hhmm.substr(colon + 1), 0, 59);
    if (!h || !m || (*h == 24 && *m != 0)) return std::nullopt;
    return *h * 60 + *m;
  };
  const size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto start = minute(text.substr(0, dash));
  const auto end = minute(text.substr(dash + 1));
  if (!start || !end) return std::nullopt;
  return QuietHours{*start % 1440, *end};  // an end of 24:00 is the day's end
}

StationIni ParseStationIni(std::string_view text) {
  Reading reading{.rest = text.substr(0, kMaxStationIniBytes), .ini = {}};
  if (text.size() > kMaxStationIniBytes) {
    reading.ini.problems.push_back(std::string(kStationIniName) + ": larger than " +
                                   std::to_string(kMaxStationIniBytes) + " bytes; the rest ignored");
  }
  // A line inih cannot parse at all is noted by ReadLine (the handler never took it).
  ini_parse_stream(&ReadLine, &reading, &Take, &reading);
  reading.Finish();
  return std::move(reading.ini);
}

namespace {

enum class IniRead { kRead, kMissing, kUnusable };

// The file's text: only a regular file, opened without blocking, at most a little over
// kMaxStationIniBytes (the parser names the excess).
IniRead ReadIniText(const std::string& path, std::string& text, std::string& why) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return IniRead::kMissing;
    why = std::string("cannot open (") + std::strerror(errno) + ")";
    return IniRead::kUnusable;
  }
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    char buf[4096];
    for (;;) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      text.append(buf, static_cast<size_t>(n));
      if (text.size() > kMaxStationIniBytes) break;
    }
  }
  close(fd);
  if (!ok) why = "not a readable file";
  return ok ? IniRead::kRead : IniRead::kUnusable;
}

}  // namespace

StationIni LoadStationIni(const std::string& path) {
  std::string text, why;
  switch (ReadIniText(path, text, why)) {
    case IniRead::kMissing:
      return {};
    case IniRead::kUnusable: {
      StationIni none;
      none.problems.push_back(path + ": " + why + "; ignored");
      return none;
    }
    case IniRead::kRead:
      break;
  }
  return ParseStationIni(text);
}

bool SaveDoorSettings(const std::string& path, const DoorSettings& door, std::string& error) {
  std::string previous, why;
  if (ReadIniText(path, previous, why) == IniRead::kUnusable) {
    error = path + ": " + why + "; not replaced";
    return false;
  }
  if (previous.size() > kMaxStationIniBytes) {
    error = path + ": longer than " + std::to_string(kMaxStationIniBytes) + " bytes; not replaced";
    return false;
  }
  const std::string text = StationIniText(door, previous);
  return WriteFileBytes(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), error,
                        kPrivateFileMode);
}

std::string StationIniText(const DoorSettings& door, std::string_view previous) {
  // The other sections as they were, the old [door] section left out.
  std::string kept;
  bool in_door = false;
  while (!previous.empty()) {
    const size_t end = std::min(previous.find('\n'), previous.size());
    const std::string_view line = previous.substr(0, end);
    previous.remove_prefix(std::min(end + 1, previous.size()));
    const std::string_view shown = Trim(line);
    if (!shown.empty() && shown.front() == '[') in_door = AsciiLower(shown).rfind("[door]", 0) == 0;
    if (!in_door) kept.append(line).append("\n");
  }
  while (kept.size() >= 2 && kept.substr(kept.size() - 2) == "\n\n") kept.pop_back();
  std::string text = kept;
  if (!text.empty()) text += "\n";
  text += "[door]\n";
  text += "button = " + std::to_string(door.button) + "\n";
  if (door.relay > 0) text += "relay = " + std::to_string(door.relay) + "\n";
  text += "open_ms = " + std::to_string(door.open_ms) + "\n";
  if (!door.chime.empty()) text += "chime = " + door.chime + "\n";
  if (door.quiet) {
    char hours[48];
    std::snprintf(hours, sizeof hours, "%02d:%02d-%02d:%02d", door.quiet->start / 60, door.quiet->start % 60,
                  door.quiet->end / 60, door.quiet->end % 60);
    text += std::string("quiet = ") + hours + "\n";
  }
  return text;
}

}  // namespace vantorel
