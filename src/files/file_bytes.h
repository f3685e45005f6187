#pragma once
// Files read whole or piece by piece, for the tools that convert one file into another,
// and the one loop that writes all of a buffer to a descriptor. Writing a file:
// replacing_file.h.

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

// A file read piece by piece, from its start (a pipe or device too): memory does not grow
// with its length.
class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // False with a one-line reason (naming the file) when it cannot be opened or is a
  // directory.
  bool Open(const std::string& path, std::string& error);
  // Reads up to `bytes.size()` bytes into `bytes`; `got` is 0 at the end. False with a
  // one-line reason.
  bool Read(std::span<uint8_t> bytes, size_t& got, std::string& error);

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace vantorel
