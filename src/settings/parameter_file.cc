#include "settings/parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/file_bytes.h"
#include "platform/log.h"
#include "platform/program_dir.h"
#include "platform/utf8.h"
#include "settings/camera_urls.h"

namespace vantorel {

namespace {

std::mutex g_paths_mutex;
ParameterPaths g_paths{kParameterFileName, kNewParameterFileName, kBackupParameterFileName};

bool PosixWriteFile(const std::string& path, const std::string& content) {
  // O_NOFOLLOW: never write through a link planted under our name.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    LogFailure("cannot create %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  // An existing file keeps its mode on truncation: narrow it as well.
  bool ok = fchmod(fd, 0600) == 0;
  ok = WriteAllBytes(fd, content.data(), content.size()) && ok;
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (!ok) LogFailure("cannot write %s: %s", path.c_str(), std::strerror(errno));
  return ok;
}

bool PosixRemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool PosixLinkFile(const std::string& from, const std::string& to) {
  return link(from.c_str(), to.c_str()) == 0;
}

bool PosixReplaceFile(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) {
    LogFailure("cannot rename %s to %s: %s", from.c_str(), to.c_str(), std::strerror(errno));
    return false;
  }
  // Make the new directory entry durable too.
  const std::string dir = DirectoryOf(to);
  const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

std::mutex g_ops_mutex;
ParameterFileOps g_ops = DefaultParameterFileOps();

ParameterFileOps CurrentOps() {
  std::lock_guard lock(g_ops_mutex);
  return g_ops;
}

// Reads one line of at most kMaxUrlChars characters starting at `pos`. Returns false at
// the end of the data. A longer line leaves `pos` inside it, so that its rest becomes the
// next line.
bool ReadLine(std::string_view data, size_t& pos, std::string& line) {
  if (pos >= data.size()) return false;
  const size_t start = pos;
  pos = start + Utf8PrefixBytes(data.substr(start, data.find('\n', start) - start), kMaxUrlChars);
  size_t end = pos;
  if (pos < data.size() && data[pos] == '\n') {
    ++pos;
    if (end > start && data[end - 1] == '\r') --end;
  }
  line.assign(data.substr(start, end - start));
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& data) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
    // Three URLs of 1023 characters fit many times over; anything far larger is not ours.
    if (data.size() > (1u << 20)) break;
  }
  close(fd);
  return ok || !data.empty();
}

}  // namespace

ParameterFileOps DefaultParameterFileOps() {
  return {PosixWriteFile, PosixRemoveFile, PosixLinkFile, PosixReplaceFile};
}

void SetParameterFileOpsForTest(const ParameterFileOps* ops) {
  std::lock_guard lock(g_ops_mutex);
  g_ops = ops ? *ops : DefaultParameterFileOps();
}

void ComposeParameterPaths(const std::string& directory) {
  const std::string prefix = directory.empty() ? std::string() : directory + "/";
  std::lock_guard lock(g_paths_mutex);
  g_paths = {prefix + kParameterFileName, prefix + kNewParameterFileName,
             prefix + kBackupParameterFileName};
}

void ComposeParameterPaths() {
  std::string dir;
  if (!GetProgramDirectory(dir)) {
    LogFailure("no program directory; using the working directory");
    dir.clear();
  }
  ComposeParameterPaths(dir);
}

ParameterPaths GetParameterPaths() {
  std::lock_guard lock(g_paths_mutex);
  return g_paths;
}

int ParseParameterLines(std::string_view text, std::string (&lines)[3]) {
  size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  int count = 0;
  while (count < 3 && ReadLine(text, pos, lines[count])) ++count;
  return count;
}

bool LoadParameters() {
  std::string data;
  if (!ReadWholeFile(GetParameterPaths().parameter, data)) return false;
  std::string lines[3];
  const int count = ParseParameterLines(data, lines);
  // A slot keeps its value when its line is missing.
  if (count > 0) SetImageUrl(lines[0]);
  if (count > 1) SetReceiveUrl(lines[1]);
  if (count > 2) SetTransmitUrl(lines[2]);
  return count == 3;
}

bool WriteParameters(const std::string& path) {
  const CameraUrls urls = GetCameraUrls();
  return CurrentOps().write_file(path, urls.image + "\n" + urls.receive + "\n" + urls.transmit + "\n");
}

bool SaveParameters() {
  const ParameterPaths paths = GetParameterPaths();
  const ParameterFileOps ops = CurrentOps();
  if (!WriteParameters(paths.fresh)) return false;
  // Each step is attempted whatever the one before it gave. The current file is linked,
  // not moved, to the backup name, and the new file renamed over it: the parameter file
  // is never missing, even if the program dies between two steps.
  const bool removed = ops.remove_file(paths.backup);
  const bool backed_up = ops.link_file(paths.parameter, paths.backup);
  const bool placed = ops.replace_file(paths.fresh, paths.parameter);
  return removed && backed_up && placed;
}

}  // namespace vantorel
