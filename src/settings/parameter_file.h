#pragma once
// The parameter file: three lines, image URL, receive URL, transmit URL, in UTF-8 with
// LF line ends (reading also takes CRLF and a leading byte-order mark). Created with mode
// 0600, since URLs may carry a camera password. These are the file's pieces without any
// state; CameraSettings (camera_settings.h) puts them together.

#include <string>
#include <string_view>

#include "settings/camera_urls.h"

namespace vantorel {

inline constexpr const char* kParameterFileName = "VANTOREL.PRA";
inline constexpr const char* kNewParameterFileName = "VANTOREL._PR";
inline constexpr const char* kBackupParameterFileName = "VANTOREL.P$$";

struct ParameterPaths {
  std::string parameter;  // the parameter file
  std::string fresh;      // the new file while saving
  std::string backup;     // the previous parameter file after a save
  bool operator==(const ParameterPaths&) const = default;
};

// The three paths in `directory`; an empty directory gives the bare names (relative to
// the working directory).
ParameterPaths ParameterPathsIn(const std::string& directory);
// The same in the program directory (runtime/program_dir.h), or the bare names when
// that cannot be determined.
ParameterPaths ProgramParameterPaths();

// The lines of a parameter file's text as loading takes them: a leading byte-order mark
// skipped, LF or CRLF line ends, at most 1023 characters a line (the rest of a longer
// line becomes the next; a line end right after the 1023rd character still ends that
// line). Fills up to three lines and returns how many there were.
int ParseParameterLines(std::string_view text, std::string (&lines)[3]);

// The file's text for three URLs. Control characters (below U+0020, and DEL) are left
// out, so that every URL stays on its own line whatever a slot holds.
std::string ParameterFileText(const CameraUrls& urls);

// The file operations that a save uses, replaceable so that tests can make any step fail.
// Each gives false with a one-line reason in `error`; an empty reason from remove_file or
// copy_file means there was nothing to remove or copy.
struct ParameterFileOps {
  // Creates `path` afresh (whatever entry had that name is removed first, never written
  // through) with mode 0600, writes `content` and flushes it to disk.
  bool (*write_file)(const std::string& path, const std::string& content, std::string& error);
  bool (*remove_file)(const std::string& path, std::string& error);
  // Puts a private copy (mode 0600) of the file at `from` under the name `to`.
  bool (*copy_file)(const std::string& from, const std::string& to, std::string& error);
  // Renames `from` over `to`.
  bool (*replace_file)(const std::string& from, const std::string& to, std::string& error);
};
ParameterFileOps DefaultParameterFileOps();

// Reads a parameter file into `data`. Only a regular file counts: a missing file, a
// directory, a pipe or a device gives false at once (opening never blocks). At most
// 1 MiB is read; three URLs fit many times over.
bool ReadParameterFile(const std::string& path, std::string& data);

}  // namespace vantorel
