#pragma once
// The one way this program writes a file.
//
// - The bytes go to a file that this process alone created (O_CREAT|O_EXCL|O_NOFOLLOW)
//   beside the target; it is flushed to disk and renamed over the target, and the
//   directory is flushed too. Until then the target is untouched.
// - An existing file keeps its permission bits; a new file gets the mode its caller
//   chooses.
// - A symbolic link to a regular file keeps pointing at the file it names: that file is
//   replaced. A link that names nothing is not written through.
// - A device or pipe is written directly: never truncated, renamed over or removed.
// - A failure removes only our own file.
//
// NewFile is the piece underneath, also used on its own where a file's name is fixed (the
// parameter file's companions).

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>

namespace vantorel {

// The permissions of a file that is made anew.
struct NewFileMode {
  mode_t bits;
  bool exact;  // exactly `bits`; otherwise narrowed by the umask, like any new file
};
inline constexpr NewFileMode kPrivateFileMode{0600, true};  // may hold a password
inline constexpr NewFileMode kOutputFileMode{0666, false};  // what a tool writes for its user

// A regular file created by this object and by nothing else, written at any offset. Removed
// again when destroyed, unless Keep() succeeded.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Creates `path` itself. Whatever entry had that name (a leftover of a killed run, a
  // link someone planted) is unlinked first, which leaves what it pointed to untouched.
  bool CreateAt(const std::string& path, NewFileMode mode, std::string& error);
  // Creates a file under a name of our own in the directory of `target`; its messages
  // name `target`.
  bool CreateBeside(const std::string& target, NewFileMode mode, std::string& error);

  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
  // Flushes the file to disk and closes it; it then stays.
  bool Keep(std::string& error);
  // Closes and removes the file.
  void Discard();
  // Takes over `other`, which has just been renamed to this file's name: this descriptor is
  // closed (its file is gone) and `other`'s is kept under this name.
  void TakeOver(NewFile& other);

  bool open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  bool Open(const std::string& path, const std::string& shown, NewFileMode mode, std::string& error);

  std::string path_;
  std::string shown_;  // what messages name
  int fd_ = -1;
};

// Renames `from` over `to` and flushes the directory, so that the new entry survives a
// power cut. False with a one-line reason.
bool RenameDurably(const std::string& from, const std::string& to, std::string& error);

// A file written bit by bit that replaces `path` only when it is complete (see the top of
// this file). Destroyed without a commit, or after any failure, its temporary file is
// removed and `path` is untouched.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file (or opens the device). `new_mode` is the mode when `path`
  // does not exist yet. False with a one-line reason naming `path`.
  bool Create(const std::string& path, NewFileMode new_mode, std::string& error);
  // Appends; or, with WriteAt, overwrites bytes already written (not in a pipe).
  // False with a reason; the temporary file is then gone.
  bool Write(std::span<const uint8_t> bytes, std::string& error);
  bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
  // Makes the content `head` followed by the bytes written from `keep_from` on. The new
  // content is built in a second file of our own that then takes the temporary file's
  // name, so that the temporary file holds the old or the new content whole at every
  // instant (a one-time copy); a device is rewritten in place. False with a reason; the
  // temporary file is then gone.
  bool Rebuild(std::span<const uint8_t> head, uint64_t keep_from, std::string& error);
  // Flushes the file, puts it in place and flushes the directory. False with a reason; the
  // temporary file is then gone.
  bool Commit(std::string& error);
  // Removes the temporary file; `path` stays as it was.
  void Abandon();

  // The end of what has been written so far.
  uint64_t size() const { return size_; }
  // False for a target such as a pipe or terminal, where written bytes cannot be rewritten.
  bool seekable() const { return seekable_; }

 private:
  bool RebuildInPlace(std::span<const uint8_t> head, uint64_t keep_from, std::string& error);

  std::string path_;    // what the error messages name
  std::string target_;  // what Commit renames over (the file behind a link)
  NewFile temp_;        // not open when writing directly
  int direct_fd_ = -1;  // a device or pipe
  uint64_t size_ = 0;
  bool seekable_ = true;
};

// Writes the bytes as the whole new content of `path`, the way ReplacingFile does.
// False with a one-line reason.
bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error,
                    NewFileMode new_mode = kOutputFileMode);

}  // namespace vantorel
