#pragma once
// The parameter file: three lines, image URL, receive URL, transmit URL, in UTF-8 with
// LF line ends (reading also takes CRLF and a leading byte-order mark). Created with mode
// 0600, since URLs may carry a camera password.

#include <string>
#include <string_view>

namespace vantorel {

inline constexpr const char* kParameterFileName = "VANTOREL.PRA";
inline constexpr const char* kNewParameterFileName = "VANTOREL._PR";
inline constexpr const char* kBackupParameterFileName = "VANTOREL.P$$";

struct ParameterPaths {
  std::string parameter;  // the parameter file
  std::string fresh;      // the new file while saving
  std::string backup;     // the previous parameter file after a save
};

// Fills the three paths from the program directory. When the directory cannot be
// determined the paths are the bare file names (relative to the working directory).
void ComposeParameterPaths();
// The same from a given directory (tests, tools).
void ComposeParameterPaths(const std::string& directory);
ParameterPaths GetParameterPaths();

// Reads the parameter file into the slots. A slot keeps its value when its line (or an
// earlier one) cannot be read. A line longer than 1023 characters is cut there and the
// rest of it is taken as the next line. True only when all three lines were read.
bool LoadParameters();

// The lines of a parameter file's text as LoadParameters takes them: a leading byte-order
// mark skipped, LF or CRLF line ends, at most 1023 characters a line (the rest of a longer
// line becomes the next). Fills up to three lines and returns how many there were.
int ParseParameterLines(std::string_view text, std::string (&lines)[3]);

// Writes the three slots to `path`, created or truncated with mode 0600, flushed to disk.
bool WriteParameters(const std::string& path);

// The safe save. Writes the new file, then replaces the backup by the current parameter
// file and puts the new file in place. Every step is atomic, so a complete parameter
// file exists at every instant. True only when removing the old backup, keeping the
// current file as backup and putting the new file in place all succeeded (so the very
// first save, with nothing to back up, reports false although the file is in place).
bool SaveParameters();

// The file operations that a save uses, replaceable so that tests can make any step fail.
struct ParameterFileOps {
  bool (*write_file)(const std::string& path, const std::string& content);
  bool (*remove_file)(const std::string& path);
  bool (*link_file)(const std::string& from, const std::string& to);
  bool (*replace_file)(const std::string& from, const std::string& to);
};
ParameterFileOps DefaultParameterFileOps();
// nullptr restores the defaults.
void SetParameterFileOpsForTest(const ParameterFileOps* ops);

}  // namespace vantorel
