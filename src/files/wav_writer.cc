// Writing WAV files: libsndfile formats the file, and every byte it produces goes through
// a ReplacingFile, so that the target is replaced only when the file is complete.

#include <sndfile.h>
#include <sys/stat.h>

#include "files/wav_file.h"

namespace vantorel {

struct WavWriter::Io {
  ReplacingFile file;
  uint64_t position = 0;  // where libsndfile writes next
  std::string error;      // the first failure of the file underneath
  SNDFILE* sound = nullptr;

  ~Io() {
    if (sound) sf_close(sound);  // its last header goes into the file, which Abandon then removes
  }
};

namespace {

using Io = WavWriter::Io;

sf_count_t IoLength(void* user) { return static_cast<sf_count_t>(static_cast<Io*>(user)->file.size()); }

sf_count_t IoSeek(sf_count_t offset, int whence, void* user) {
  auto* io = static_cast<Io*>(user);
  const auto base = static_cast<sf_count_t>(whence == SEEK_SET   ? 0
                                            : whence == SEEK_CUR ? io->position
                                                                 : io->file.size());
  if (offset < -base) return -1;
  io->position = static_cast<uint64_t>(base + offset);
  return static_cast<sf_count_t>(io->position);
}

sf_count_t IoRead(void*, sf_count_t, void*) { return 0; }

sf_count_t IoWrite(const void* data, sf_count_t count, void* user) {
  auto* io = static_cast<Io*>(user);
  if (!io->error.empty() || count <= 0) return 0;
  const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(data), static_cast<size_t>(count));
  if (!io->file.WriteAt(io->position, bytes, io->error)) return 0;
  io->position += bytes.size();
  return count;
}

sf_count_t IoTell(void* user) { return static_cast<sf_count_t>(static_cast<Io*>(user)->position); }

SF_VIRTUAL_IO kFileIo = {IoLength, IoSeek, IoRead, IoWrite, IoTell};

std::string LibraryMessage(SNDFILE* sound) {
  std::string s = sf_strerror(sound);
  while (!s.empty() && (s.back() == '.' || s.back() == '\n')) s.pop_back();
  return s;
}

// Starts a 16-bit mono file at `rate`. `growing`: a recording of unknown length, written
// as RF64 that stays a plain WAV file while under 4 GiB, its header kept up to date after
// every write; otherwise a plain WAV file (RF64 when `bytes` needs it).
bool OpenSound(Io& io, const std::string& path, int rate, bool growing, uint64_t bytes, std::string& error) {
  // A pipe is refused before it is opened: opening it would wait for a reader.
  struct stat st {};
  const bool pipe = ::stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
  if (!pipe && !io.file.Create(path, kOutputFileMode, error)) return false;
  if (pipe || !io.file.seekable()) {
    io.file.Abandon();  // writes directly: nothing to remove
    error = path + ": cannot write a WAV file into a pipe or terminal (its header is rewritten at the end)";
    return false;
  }
  constexpr uint64_t kPlainWavLimit = 0xFFFFFFFFu - 1024;  // the RIFF sizes are 32 bits, with room for the header
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = ((growing || bytes > kPlainWavLimit) ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
  io.sound = sf_open_virtual(&kFileIo, SFM_WRITE, &info, &io);
  if (!io.sound) {
    error = path + ": cannot write a WAV file (" + (io.error.empty() ? LibraryMessage(nullptr) : io.error) + ")";
    io.file.Abandon();
    return false;
  }
  if (growing) {
    sf_command(io.sound, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(io.sound, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  }
  return true;
}

bool AppendSound(Io& io, std::span<const int16_t> samples, std::string& error) {
  if (!io.sound) {
    error = "cannot write: the WAV file is not open";
    return false;
  }
  const auto count = static_cast<sf_count_t>(samples.size());
  if (sf_write_short(io.sound, samples.data(), count) == count && io.error.empty()) return true;
  error = io.error.empty() ? "cannot write the WAV file (" + LibraryMessage(io.sound) + ")" : io.error;
  sf_close(io.sound);
  io.sound = nullptr;
  io.file.Abandon();
  return false;
}

bool FinishSound(Io& io, std::string& error) {
  if (!io.sound) {
    error = "cannot write: the WAV file is not open";
    return false;
  }
  const int closed = sf_close(io.sound);
  io.sound = nullptr;
  if (closed != 0 || !io.error.empty()) {
    error = io.error.empty() ? "cannot finish the WAV file (" + LibraryMessage(nullptr) + ")" : io.error;
    io.file.Abandon();
    return false;
  }
  return io.file.Commit(error);
}

}  // namespace

WavWriter::WavWriter() = default;
WavWriter::~WavWriter() = default;

bool WavWriter::Open(const std::string& path, int rate, std::string& error) {
  io_ = std::make_unique<Io>();
  return OpenSound(*io_, path, rate, true, 0, error);
}

bool WavWriter::Append(std::span<const int16_t> samples, std::string& error) {
  if (!io_) io_ = std::make_unique<Io>();
  return AppendSound(*io_, samples, error);
}

bool WavWriter::Finish(std::string& error) {
  if (!io_) io_ = std::make_unique<Io>();
  return FinishSound(*io_, error);
}

bool WriteWavMono16(const std::string& path, int rate, std::span<const int16_t> samples, std::string& error) {
  Io io;
  return OpenSound(io, path, rate, false, uint64_t{samples.size()} * 2, error) && AppendSound(io, samples, error) &&
         FinishSound(io, error);
}

}  // namespace vantorel
