// Writing WAV files: 16-bit mono PCM under a header of our own, every byte through a
// ReplacingFile, so that the target is replaced only when the file is complete.
//
// A plain file:  RIFF <36+D> WAVE | fmt  <16> PCM | data <D> | sound        (44-byte header)
// RF64:          RF64 <~0> WAVE | ds64 <28> sizes | fmt  <16> PCM | data <~0> | sound   (80)

#include <sys/stat.h>

#include <bit>
#include <cstring>

#include "files/wav_file.h"

namespace vantorel {
namespace {

constexpr uint64_t kPlainHeaderBytes = 44;
constexpr uint64_t kRf64HeaderBytes = 80;

void Put(std::vector<uint8_t>& out, const char (&id)[5]) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

void PutLe(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A format chunk: PCM, one channel, 16 bits.
void PutFormat(std::vector<uint8_t>& out, uint32_t rate) {
  Put(out, "fmt ");
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);         // WAVE_FORMAT_PCM
  PutLe(out, 1, 2);         // channels
  PutLe(out, rate, 4);
  PutLe(out, uint64_t{rate} * 2, 4);  // bytes per second
  PutLe(out, 2, 2);         // bytes per frame
  PutLe(out, 16, 2);        // bits per sample
}

}  // namespace

std::vector<uint8_t> WavWriter::Header() const {
  std::vector<uint8_t> h;
  h.reserve(kRf64HeaderBytes);
  if (!rf64_) {
    Put(h, "RIFF");
    PutLe(h, kPlainHeaderBytes - 8 + data_bytes_, 4);
    Put(h, "WAVE");
    PutFormat(h, rate_);
    Put(h, "data");
    PutLe(h, data_bytes_, 4);
    return h;
  }
  Put(h, "RF64");
  PutLe(h, 0xFFFFFFFF, 4);  // the sizes are in ds64
  Put(h, "WAVE");
  Put(h, "ds64");
  PutLe(h, 28, 4);
  PutLe(h, kRf64HeaderBytes - 8 + data_bytes_, 8);
  PutLe(h, data_bytes_, 8);
  PutLe(h, data_bytes_ / 2, 8);  // sample frames
  PutLe(h, 0, 4);                // no table of other chunks' sizes
  PutFormat(h, rate_);
  Put(h, "data");
  PutLe(h, 0xFFFFFFFF, 4);
  return h;
}

bool WavWriter::Open(const std::string& path, int rate, std::string& error) {
  open_ = false;
  rf64_ = false;
  data_bytes_ = 0;
  if (rate < 1 || rate > 0x7FFFFFFF / 2) {
    error = path + ": cannot write a WAV file at " + std::to_string(rate) + " Hz";
    return false;
  }
  rate_ = static_cast<uint32_t>(rate);
  // A pipe is refused before it is opened: opening it would wait for a reader.
  struct stat st {};
  const bool pipe = ::stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
  if (!pipe && !file_.Create(path, kOutputFileMode, error)) return false;
  if (pipe || !file_.seekable()) {
    file_.Abandon();  // written directly: nothing to remove
    error = path + ": cannot write a WAV file into a pipe or terminal (its header is rewritten at the end)";
    return false;
  }
  open_ = file_.WriteAt(0, Header(), error);
  return open_;
}

bool WavWriter::Append(std::span<const int16_t> samples, std::string& error) {
  if (!open_) {
    error = "cannot write: the WAV file is not open";
    return false;
  }
  const uint64_t bytes = uint64_t{samples.size()} * 2;
  if (!rf64_ && data_bytes_ + bytes > plain_limit_) {
    // RF64 from here on: its header is longer, so the sound so far moves once.
    rf64_ = true;
    open_ = file_.Rebuild(Header(), kPlainHeaderBytes, error);
    if (!open_) return false;
  }
  const uint64_t at = (rf64_ ? kRf64HeaderBytes : kPlainHeaderBytes) + data_bytes_;
  std::span<const uint8_t> le(reinterpret_cast<const uint8_t*>(samples.data()), bytes);
  std::vector<uint8_t> swapped;
  if constexpr (std::endian::native == std::endian::big) {
    swapped.reserve(bytes);
    for (const int16_t s : samples) PutLe(swapped, static_cast<uint16_t>(s), 2);
    le = swapped;
  }
  open_ = file_.WriteAt(at, le, error);
  if (!open_) return false;
  data_bytes_ += bytes;
  // The header follows every append: a killed run's temporary file reads as what it holds.
  open_ = file_.WriteAt(0, Header(), error);
  return open_;
}

bool WavWriter::Finish(std::string& error) {
  if (!open_) {
    error = "cannot write: the WAV file is not open";
    return false;
  }
  open_ = false;
  return file_.Commit(error);
}

bool WriteWavMono16(const std::string& path, int rate, std::span<const int16_t> samples, std::string& error) {
  WavWriter writer;
  return writer.Open(path, rate, error) && writer.Append(samples, error) && writer.Finish(error);
}

}  // namespace vantorel
