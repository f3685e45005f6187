#include "settings/parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/replacing_file.h"
#include "runtime/log.h"
#include "runtime/program_dir.h"
#include "runtime/utf8.h"

namespace vantorel {

namespace {

constexpr size_t kMaxParameterFileBytes = 1u << 20;

// Opens `path` for reading when it is a regular file; -1 otherwise (errno ENOENT when there
// is none, EINVAL when it is something else). O_NONBLOCK keeps a pipe planted under the
// name from holding the open (and the program) for ever.
int OpenRegularForReading(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    LogFailure("%s is not a regular file; ignored", path.c_str());
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// The new file and the backup are made by NewFile::CreateAt (files/replacing_file.h):
// whatever entry had the name before (a leftover of a killed save, a link someone planted)
// is unlinked first, and O_EXCL with O_NOFOLLOW guarantees that the file written is one
// this save created, mode 0600 whatever the umask.
bool PosixWriteFile(const std::string& path, const std::string& content, std::string& error) {
  NewFile file;
  return file.CreateAt(path, kPrivateFileMode, error) &&
         file.WriteAt(0, {reinterpret_cast<const uint8_t*>(content.data()), content.size()}, error) &&
         file.Keep(error);
}

bool PosixRemoveFile(const std::string& path, std::string& error) {
  if (unlink(path.c_str()) == 0) return true;
  if (errno != ENOENT) error = path + ": cannot remove (" + std::strerror(errno) + ")";
  return false;
}

bool PosixCopyFile(const std::string& from, const std::string& to, std::string& error) {
  const int in = OpenRegularForReading(from);
  if (in < 0) {
    if (errno == EINVAL) error = from + ": not a regular file; not kept as backup";
    else if (errno != ENOENT) error = from + ": cannot read (" + std::strerror(errno) + ")";
    return false;
  }
  NewFile out;
  bool ok = out.CreateAt(to, kPrivateFileMode, error);
  uint8_t buf[4096];
  for (uint64_t at = 0; ok;) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = from + ": cannot read (" + std::strerror(errno) + ")";
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = out.WriteAt(at, {buf, static_cast<size_t>(n)}, error);
    at += static_cast<uint64_t>(n);
  }
  close(in);
  return ok && out.Keep(error);
}

bool PosixReplaceFile(const std::string& from, const std::string& to, std::string& error) {
  return RenameDurably(from, to, error);
}

// Reads one line of at most kMaxUrlChars characters starting at `pos`. Returns false at
// the end of the data. A longer line leaves `pos` inside it, so that its rest becomes the
// next line; a CRLF right after the last character that fits still ends the line (else
// its CR would be read as the next line).
bool ReadLine(std::string_view data, size_t& pos, std::string& line) {
  if (pos >= data.size()) return false;
  const size_t start = pos;
  const size_t line_end = std::min(data.find('\n', start), data.size());
  pos = start + Utf8PrefixBytes(data.substr(start, line_end - start), kMaxUrlChars);
  size_t end = pos;
  if (pos < data.size() && data[pos] == '\n') {
    ++pos;
    if (end > start && data[end - 1] == '\r') --end;
  } else if (data.substr(pos, 2) == "\r\n") {
    pos += 2;
  }
  line.assign(data.substr(start, end - start));
  return true;
}

}  // namespace

ParameterFileOps DefaultParameterFileOps() {
  return {PosixWriteFile, PosixRemoveFile, PosixCopyFile, PosixReplaceFile};
}

ParameterPaths ParameterPathsIn(const std::string& directory) {
  const std::string prefix = directory.empty() ? std::string() : directory + "/";
  return {prefix + kParameterFileName, prefix + kNewParameterFileName, prefix + kBackupParameterFileName};
}

ParameterPaths ProgramParameterPaths() {
  std::string dir;
  if (!GetProgramDirectory(dir)) {
    LogFailure("no program directory; using the working directory");
    dir.clear();
  }
  return ParameterPathsIn(dir);
}

bool ReadParameterFile(const std::string& path, std::string& data) {
  const int fd = OpenRegularForReading(path);
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
    if (data.size() > kMaxParameterFileBytes) break;
  }
  close(fd);
  return ok || !data.empty();
}

int ParseParameterLines(std::string_view text, std::string (&lines)[3]) {
  size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  int count = 0;
  while (count < 3 && ReadLine(text, pos, lines[count])) ++count;
  return count;
}

std::string ParameterFileText(const CameraUrls& urls) {
  std::string text;
  for (const std::string* url : {&urls.image, &urls.receive, &urls.transmit}) {
    for (const char c : *url) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x20 && byte != 0x7F) text += c;
    }
    text += '\n';
  }
  return text;
}

}  // namespace vantorel
