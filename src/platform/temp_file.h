#pragma once
// A private scratch file that exists only while its object lives.

#include <cstddef>
#include <string>

namespace vantorel {

class TempFile {
 public:
  // Creates `path`, or truncates the file already there, for reading and writing with mode
  // 0600. A symbolic link at `path` is never followed, and anything but a regular file is
  // refused: ok() is then false and error() says why.
  explicit TempFile(std::string path);
  // Closes the file and deletes `path`, whether or not the open succeeded.
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // Appends all `size` bytes; false (error() set) on a failed write.
  bool Write(const void* data, size_t size);
  // Moves back to the first byte; false (error() set) when the position is not 0 after.
  bool Rewind();

 private:
  std::string path_;
  int fd_ = -1;
  std::string error_;
};

}  // namespace vantorel
