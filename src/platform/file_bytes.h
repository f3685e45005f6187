#pragma once
// Whole files as bytes, for the tools that convert one file into another.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantorel {

// Reads the whole file. False with a one-line reason (naming the file) when it cannot be
// opened or read, or is larger than `max_bytes`.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   size_t max_bytes = size_t{1} << 30);

// Writes the bytes as the whole new content of the file: first into a temporary file in
// the same directory, then renamed over it, so that a failure leaves neither a partial
// file nor a damaged old one. False with a one-line reason.
bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

// A file written bit by bit that replaces `path` only when it is complete: the bytes go to
// a temporary file beside it, and Commit() renames that over `path`. Destroyed without a
// commit (or after a failure), the temporary file is removed and `path` is untouched.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file. False with a one-line reason (naming `path`).
  bool Create(const std::string& path, std::string& error);
  // Appends; or, with WriteAt, overwrites bytes already written. False with a reason.
  bool Write(std::span<const uint8_t> bytes, std::string& error);
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
  // Closes the file and puts it in place. False with a reason; the temporary file is gone.
  bool Commit(std::string& error);
  // Removes the temporary file; `path` stays as it was.
  void Abandon();

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  uint64_t size_ = 0;  // bytes appended by Write
};

}  // namespace vantorel
