#pragma once
// The program directory: where the parameter file and the temporary still live.

#include <functional>
#include <string>

namespace vantorel {

// Writes the program directory (no trailing separator) into `out`. Order of choice:
// $VANTOREL_HOME when set and non-empty; else the directory of the running executable
// when it is writable and not a system program directory (an installed program, even one
// run by root, never writes beside itself); else $XDG_CONFIG_HOME/vantorel (default ~/.config/vantorel),
// created with mode 0700. Returns false when no directory can be determined, or when that
// folder is not safe to keep passwords in (`refusal`, when given, then says why and how to
// fix it).
bool GetProgramDirectory(std::string& out, std::string* refusal = nullptr);

// The decision above without touching the process: tests drive it with their own inputs.
struct ProgramDirInputs {
  const char* vantorel_home = nullptr;   // $VANTOREL_HOME
  std::string executable_path;           // e.g. what /proc/self/exe points at
  const char* xdg_config_home = nullptr; // $XDG_CONFIG_HOME
  const char* home = nullptr;            // $HOME
  std::function<bool(const std::string&)> is_writable_dir;
  std::function<bool(const std::string&)> make_private_dir;  // mkdir -p with 0700
  // Why the per-user folder may not be used (empty: it may); none given: not checked.
  std::function<std::string(const std::string&)> private_dir_problem;
};
bool ResolveProgramDirectory(const ProgramDirInputs& in, std::string& out, std::string* refusal = nullptr);

// Why `dir` is no folder to keep this user's passwords in: a symbolic link, not a folder,
// another user's, or writable by others; with the command that fixes it. Empty when it is
// a private folder of this user.
std::string PrivateDirectoryProblem(const std::string& dir);

// True for the directories that installed programs live in (/usr/bin, /usr/local/bin, ...).
bool IsSystemBinDirectory(const std::string& dir);

// mkdir -p, the last component with mode 0700. True when the directory exists after.
bool MakePrivateDirectory(const std::string& dir);

// The directory part of a path: cut at the last '/', so no trailing separator.
// "/opt/cam/vantorel" -> "/opt/cam"; "/vantorel" -> "" (the root).
std::string DirectoryOf(const std::string& path);

}  // namespace vantorel
