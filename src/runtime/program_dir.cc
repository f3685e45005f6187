#include "runtime/program_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace vantorel {

std::string DirectoryOf(const std::string& path) {
  const auto cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool IsSystemBinDirectory(const std::string& dir) {
  // Where a package or `make install` puts programs. Root can write here, and a program
  // started by root must still not leave settings beside the system's binaries.
  static constexpr const char* kSystemDirs[] = {
      "/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games", "/usr/local/bin", "/usr/local/sbin",
      "/usr/local/games",
  };
  for (const char* system : kSystemDirs) {
    if (dir == system) return true;
  }
  return false;
}

bool ResolveProgramDirectory(const ProgramDirInputs& in, std::string& out, std::string* refusal) {
  if (in.vantorel_home && *in.vantorel_home) {
    out = in.vantorel_home;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return true;
  }
  if (!in.executable_path.empty()) {
    std::string dir = DirectoryOf(in.executable_path);
    if (!IsSystemBinDirectory(dir) && in.is_writable_dir(dir.empty() ? "/" : dir)) {
      out = dir;
      return true;
    }
  }
  // An installed program cannot write beside itself: keep its files per user.
  std::string base;
  if (in.xdg_config_home && *in.xdg_config_home) {
    base = in.xdg_config_home;
  } else if (in.home && *in.home) {
    base = std::string(in.home) + "/.config";
  } else {
    return false;
  }
  std::string dir = base + "/vantorel";
  if (!in.make_private_dir(dir)) return false;
  // Planted URLs in a folder someone else can change would send the pictures, the sound and
  // the password elsewhere: such a folder is refused, not used.
  if (in.private_dir_problem) {
    if (std::string problem = in.private_dir_problem(dir); !problem.empty()) {
      if (refusal) *refusal = std::move(problem);
      return false;
    }
  }
  out = dir;
  return true;
}

namespace {

bool IsWritableDir(const std::string& dir) { return access(dir.c_str(), W_OK | X_OK) == 0; }

}  // namespace

bool MakePrivateDirectory(const std::string& dir) {
  // Create each missing component; the last one with 0700 as it may hold camera passwords.
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    const mode_t mode = pos == dir.size() ? 0700 : 0755;
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
  }
  struct stat st{};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

std::string ExecutablePath() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

std::string PrivateDirectoryProblem(const std::string& dir) {
  struct stat st{};
  if (lstat(dir.c_str(), &st) != 0) return "the settings folder " + dir + " cannot be read";
  if (S_ISLNK(st.st_mode)) {
    return "the settings folder " + dir + " is a symbolic link; remove it (rm " + dir + ") and start again";
  }
  if (!S_ISDIR(st.st_mode)) return dir + " is not a folder; remove it and start again";
  if (st.st_uid != getuid()) {
    return "the settings folder " + dir + " belongs to another user (uid " + std::to_string(st.st_uid) +
           "); remove it or make it yours (chown) and start again";
  }
  if ((st.st_mode & 022) != 0) {
    return "other users can change the settings folder " + dir + "; make it private (chmod 700 " + dir +
           "), check the files in it, and start again";
  }
  return {};
}

bool GetProgramDirectory(std::string& out, std::string* refusal) {
  ProgramDirInputs in;
  in.vantorel_home = std::getenv("VANTOREL_HOME");
  // The executable does not move while it runs; the image worker asks for every still.
  static const std::string executable = ExecutablePath();
  in.executable_path = executable;
  in.xdg_config_home = std::getenv("XDG_CONFIG_HOME");
  in.home = std::getenv("HOME");
  in.is_writable_dir = IsWritableDir;
  in.make_private_dir = MakePrivateDirectory;
  in.private_dir_problem = PrivateDirectoryProblem;
  return ResolveProgramDirectory(in, out, refusal);
}

}  // namespace vantorel
