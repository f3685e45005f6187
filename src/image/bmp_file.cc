#include "image/bmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "files/file_bytes.h"

namespace vantorel {

namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

bool WriteAll(int fd, const std::string& bytes) { return WriteAllBytes(fd, bytes.data(), bytes.size()); }

std::string Reason(const std::string& path) { return path + ": " + std::strerror(errno); }

// A device, a pipe, a socket, or a link that names nothing yet: written in place, never
// removed, whatever happens.
bool WriteDirectly(const std::string& path, const std::string& bytes, std::string& failure) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    failure = Reason(path);
    return false;
  }
  bool ok = WriteAll(fd, bytes);
  if (!ok) failure = Reason(path);
  if (close(fd) != 0 && ok) {
    failure = Reason(path);
    ok = false;
  }
  return ok;
}

// Writes beside `target` under a fresh name and renames it into place.
bool ReplaceRegular(const std::string& target, const struct stat* existing, const std::string& bytes,
                    std::string& failure) {
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    failure = Reason(temp);
    return false;
  }
  bool ok = true;
  if (existing) ok = fchmod(fd, existing->st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, bytes) && fsync(fd) == 0;
  if (!ok) failure = Reason(target);
  if (close(fd) != 0 && ok) {
    failure = Reason(target);
    ok = false;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    failure = Reason(target);
    ok = false;
  }
  if (!ok) unlink(temp.c_str());  // ours alone; the target is as it was
  return ok;
}

}  // namespace

std::string BmpFileBytes(const ImageBitmap& bitmap) {
  const uint32_t offset = kBmpFileHeaderSize + kBitmapHeaderSize + 4 * ImageColorCount(bitmap.header);
  std::string out;
  out.reserve(kBmpFileHeaderSize + bitmap.TotalSize());
  out += "BM";
  Put32(out, kBmpFileHeaderSize + bitmap.TotalSize());
  Put32(out, 0);  // two reserved 16-bit fields
  Put32(out, offset);
  out.append(reinterpret_cast<const char*>(&bitmap), bitmap.TotalSize());
  return out;
}

bool WriteBmpFile(const std::string& path, const ImageBitmap& bitmap, std::string& failure) {
  const std::string bytes = BmpFileBytes(bitmap);
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      failure = Reason(path);
      return false;
    }
    return ReplaceRegular(path, nullptr, bytes, failure);  // a new file
  }
  std::string target = path;
  if (S_ISLNK(st.st_mode)) {
    // The file the link names is the output; the link stays a link.
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    if (!resolved || stat(resolved.get(), &st) != 0) return WriteDirectly(path, bytes, failure);
    target = resolved.get();
  }
  if (!S_ISREG(st.st_mode)) return WriteDirectly(target, bytes, failure);
  return ReplaceRegular(target, &st, bytes, failure);
}

}  // namespace vantorel
