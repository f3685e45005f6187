#pragma once
// Whole files as bytes, for the tools that convert one file into another, and the one
// loop that writes all of a buffer to a descriptor.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantorel {

// Reads the whole file (a pipe or device too, up to its end). False with a one-line
// reason (naming the file) when it cannot be opened or read, is a directory, or is larger
// than `max_bytes`.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   size_t max_bytes = size_t{1} << 30);
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   size_t max_bytes = size_t{1} << 30);

// Writes all `size` bytes to `fd`: at `offset` when it is 0 or more (pwrite), otherwise
// at the descriptor's position. Retries short writes and EINTR. False when the descriptor
// refuses (errno says why).
bool WriteAllBytes(int fd, const void* data, size_t size, int64_t offset = -1);

// Writes the bytes as the whole new content of the file, the way ReplacingFile does.
// False with a one-line reason.
bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

// A file written bit by bit that replaces `path` only when it is complete: the bytes go to
// a temporary file beside it, and Commit() renames that over `path`. Destroyed without a
// commit (or after a failure), the temporary file is removed and `path` is untouched.
// A symbolic link to a regular file stays a link: the file it names is replaced.
// A target that exists and is not a regular file (a device, a pipe) is written directly
// and never removed, whatever happens.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file (or opens the device). False with a one-line reason
  // (naming `path`).
  bool Create(const std::string& path, std::string& error);
  // Appends; or, with WriteAt, overwrites bytes already written (not possible in a pipe).
  // False with a reason; the temporary file is then gone.
  bool Write(std::span<const uint8_t> bytes, std::string& error);
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
  // Closes the file and puts it in place. False with a reason; the temporary file is gone.
  bool Commit(std::string& error);
  // Removes the temporary file; `path` stays as it was.
  void Abandon();

  // The end of what has been written so far.
  uint64_t size() const { return size_; }
  // False for a target such as a pipe or terminal, where written bytes cannot be rewritten.
  bool seekable() const { return seekable_; }

 private:
  std::string path_;  // what the error messages name
  std::string target_;  // what Commit renames over (the file behind a link)
  std::string temp_;  // empty when writing directly
  int fd_ = -1;
  uint64_t size_ = 0;
  bool seekable_ = true;
};

}  // namespace vantorel
