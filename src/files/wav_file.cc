#include "files/wav_file.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace vantorel {
namespace {

// The most values (samples of all channels) in one conversion buffer: a block holds
// fewer frames the more channels the file has and the higher the rate ratio, so the
// memory of a conversion stays near 3 x 256 KiB whatever the file.
constexpr sf_count_t kBlockValues = 65536;

// libsamplerate's converter for a sound that must change its rate: the fastest of its
// band-limited (sinc) converters: far above what an 8000 Hz telephone band needs.
constexpr int kConverter = SRC_SINC_FASTEST;

// A whole file held in memory, read through libsndfile's virtual I/O.
struct MemoryFile {
  std::span<const uint8_t> bytes;
  sf_count_t position = 0;
};

sf_count_t MemoryLength(void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size()); }

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t size = static_cast<sf_count_t>(m->bytes.size());
  const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->position : size;
  // Positions stay within 0 .. the size, so no sum below can overflow.
  if (offset < -base || offset > size - base) return -1;
  m->position = base + offset;
  return m->position;
}

sf_count_t MemoryRead(void* ptr, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t left = static_cast<sf_count_t>(m->bytes.size()) - m->position;
  const sf_count_t n = std::clamp<sf_count_t>(count, 0, std::max<sf_count_t>(left, 0));
  if (n > 0) std::memcpy(ptr, m->bytes.data() + m->position, static_cast<size_t>(n));
  m->position += n;
  return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

SF_VIRTUAL_IO kMemoryIo = {MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
struct ConverterDeleter {
  void operator()(SRC_STATE* s) const { src_delete(s); }
};
struct DescriptorCloser {
  int fd = -1;
  ~DescriptorCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// libsndfile's messages end in a full stop; ours are one line without.
std::string LibraryMessage(const char* text) {
  std::string s = text ? text : "unknown error";
  while (!s.empty() && (s.back() == '.' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}

// The first twelve bytes of a WAV file: "RIFF" (or big-endian "RIFX", or "RF64"), a
// size, "WAVE". Checked before libsndfile sees the file, so that it never tries its other
// readers (MPEG, FLAC, Ogg ...) on what is not one, nor lets them print to stderr.
bool LooksLikeWav(std::span<const uint8_t> start) {
  if (start.size() < 12 || std::memcmp(start.data() + 8, "WAVE", 4) != 0) return false;
  return std::memcmp(start.data(), "RIFF", 4) == 0 || std::memcmp(start.data(), "RIFX", 4) == 0 ||
         std::memcmp(start.data(), "RF64", 4) == 0;
}

constexpr const char* kNotWav = "not a WAV file (no RIFF/WAVE header)";

int16_t ToSample(float v) {
  const float scaled = v * 32768.0f;
  if (std::isnan(scaled)) return 0;
  if (scaled >= 32767.0f) return 32767;
  if (scaled <= -32768.0f) return -32768;
  return static_cast<int16_t>(std::lrint(scaled));
}

}  // namespace

struct WavReader::State {
  DescriptorCloser file;  // declared first: closed after libsndfile lets go of it
  MemoryFile memory;
  SF_VIRTUAL_IO io = kMemoryIo;
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> sound;
  std::unique_ptr<SRC_STATE, ConverterDeleter> converter;
  double ratio = 1;
  sf_count_t block_frames = 1;
  std::vector<float> frames;     // one block as read, all channels
  std::vector<float> mono;       // the same block mixed down
  std::vector<float> converted;  // the converter's output for it
  bool input_done = false;
  bool finished = false;

  bool OpenFile(const std::string& path, int rate, std::string& error);
  bool Setup(int rate, std::string& error);
  bool Convert(sf_count_t count, std::vector<int16_t>& block, std::string& error);
};

WavReader::WavReader() = default;
WavReader::~WavReader() = default;

bool WavReader::Open(const std::string& path, int rate, std::string& error) {
  state_ = std::make_unique<State>();
  if (!state_->OpenFile(path, rate, error)) {
    error = path + ": " + error;
    state_.reset();
    return false;
  }
  return true;
}

bool WavReader::OpenMemory(std::span<const uint8_t> file, int rate, std::string& error) {
  state_ = std::make_unique<State>();
  if (!LooksLikeWav(file)) {
    error = kNotWav;
    state_.reset();
    return false;
  }
  state_->memory.bytes = file;
  state_->sound.reset(sf_open_virtual(&state_->io, SFM_READ, &state_->info, &state_->memory));
  if (!state_->Setup(rate, error)) {
    state_.reset();
    return false;
  }
  return true;
}

bool WavReader::State::OpenFile(const std::string& path, int rate, std::string& error) {
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) {
    error = std::string("cannot open (") + std::strerror(errno) + ")";
    return false;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    error = "is a directory";
    return false;
  }
  // A pipe cannot be looked into without taking its bytes: it goes to libsndfile as it is.
  uint8_t start[12];
  const ssize_t peeked = ::pread(file.fd, start, sizeof start, 0);
  if (peeked >= 0 && !LooksLikeWav({start, static_cast<size_t>(peeked)})) {
    error = kNotWav;
    return false;
  }
  sound.reset(sf_open_fd(file.fd, SFM_READ, &info, SF_FALSE));
  return Setup(rate, error);
}

bool WavReader::State::Setup(int rate, std::string& error) {
  if (!sound) {
    error = "not a sound file that can be read (" + LibraryMessage(sf_strerror(nullptr)) + ")";
    return false;
  }
  const int major = info.format & SF_FORMAT_TYPEMASK;
  if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_RF64) {
    error = "not a WAV file";
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1 || rate < 1) {
    error = "WAV file without channels or without a sample rate";
    return false;
  }
  ratio = static_cast<double>(rate) / info.samplerate;
  if (!src_is_valid_ratio(ratio)) {
    error = "cannot convert " + std::to_string(info.samplerate) + " Hz to " + std::to_string(rate) + " Hz";
    return false;
  }
  const auto growth = static_cast<sf_count_t>(std::ceil(ratio));
  block_frames = std::max<sf_count_t>(1, std::min(kBlockValues / info.channels, kBlockValues / growth));
  // A short file needs no more than its length (a pipe's is unknown).
  if (info.frames >= 0 && info.frames < block_frames) block_frames = std::max<sf_count_t>(1, info.frames);
  frames.resize(static_cast<size_t>(block_frames * info.channels));
  mono.resize(static_cast<size_t>(block_frames));
  if (info.samplerate != rate) {
    int status = 0;
    converter.reset(src_new(kConverter, 1, &status));
    if (!converter) {
      error = std::string("cannot set up the rate converter: ") + src_strerror(status);
      return false;
    }
    converted.resize(static_cast<size_t>(block_frames * growth + 256));
  }
  return true;
}

int64_t WavReader::expected_samples() const {
  if (!state_ || state_->info.frames < 0 || state_->info.frames == SF_COUNT_MAX) return -1;
  const double samples = std::ceil(static_cast<double>(state_->info.frames) * state_->ratio);
  return samples < 9.0e18 ? static_cast<int64_t>(samples) : INT64_MAX;
}

bool WavReader::Next(std::vector<int16_t>& block, std::string& error) {
  block.clear();
  if (!state_) {
    error = "no WAV file open";
    return false;
  }
  State& s = *state_;
  while (block.empty() && !s.finished) {
    sf_count_t count = 0;
    if (!s.input_done) {
      count = sf_readf_float(s.sound.get(), s.frames.data(), s.block_frames);
      if (count < s.block_frames) {
        s.input_done = true;
        count = std::max<sf_count_t>(count, 0);
        if (sf_error(s.sound.get()) != SF_ERR_NO_ERROR) {
          error = "cannot read the sound (" + LibraryMessage(sf_strerror(s.sound.get())) + ")";
          return false;
        }
      }
    }
    // All channels mixed down at equal weight; what no 16-bit sample can hold (a float
    // file's overs, infinities, NaN) is limited here, before it can upset the converter.
    const auto channels = static_cast<size_t>(s.info.channels);
    for (size_t f = 0; f < static_cast<size_t>(count); ++f) {
      float sum = 0;
      for (size_t c = 0; c < channels; ++c) sum += s.frames[f * channels + c];
      const float mixed = sum / static_cast<float>(channels);
      s.mono[f] = std::isnan(mixed) ? 0.0f : std::clamp(mixed, -1.0f, 1.0f);
    }
    if (!s.Convert(count, block, error)) return false;
    if (s.input_done) s.finished = true;
  }
  return true;
}

bool WavReader::State::Convert(sf_count_t count, std::vector<int16_t>& block, std::string& error) {
  if (!converter) {
    for (sf_count_t i = 0; i < count; ++i) block.push_back(ToSample(mono[static_cast<size_t>(i)]));
    return true;
  }
  SRC_DATA data{};
  data.data_in = mono.data();
  data.input_frames = static_cast<long>(count);
  data.src_ratio = ratio;
  data.end_of_input = input_done ? 1 : 0;
  for (;;) {
    data.data_out = converted.data();
    data.output_frames = static_cast<long>(converted.size());
    const int status = src_process(converter.get(), &data);
    if (status != 0) {
      error = std::string("cannot convert the rate: ") + src_strerror(status);
      return false;
    }
    for (long i = 0; i < data.output_frames_gen; ++i) block.push_back(ToSample(converted[static_cast<size_t>(i)]));
    data.data_in += data.input_frames_used;
    data.input_frames -= data.input_frames_used;
    // At the end of the input the converter is called until it has nothing left.
    const bool stalled = data.input_frames_used == 0 && data.output_frames_gen == 0;
    if (data.input_frames == 0 && (!data.end_of_input || data.output_frames_gen == 0)) return true;
    if (stalled) {
      error = "the rate converter stopped";
      return false;
    }
  }
}

namespace {

bool ReadAll(WavReader& reader, int rate, std::vector<int16_t>& samples, std::string& error, uint64_t max_samples) {
  samples.clear();
  const std::string too_long = "too long to hold: more than " + std::to_string(max_samples) + " samples at " +
                               std::to_string(rate) + " Hz";
  const int64_t expected = reader.expected_samples();
  if (expected > 0 && static_cast<uint64_t>(expected) > max_samples) {
    error = too_long;
    return false;
  }
  if (expected > 0) samples.reserve(static_cast<size_t>(expected) + 1024);
  std::vector<int16_t> block;
  do {
    if (!reader.Next(block, error)) return false;
    if (samples.size() + block.size() > max_samples) {
      error = too_long;
      samples.clear();
      return false;
    }
    samples.insert(samples.end(), block.begin(), block.end());
  } while (!block.empty());
  return true;
}

}  // namespace

bool DecodeWavMono16(std::span<const uint8_t> file, int rate, std::vector<int16_t>& samples, std::string& error,
                     uint64_t max_samples) {
  WavReader reader;
  return reader.OpenMemory(file, rate, error) && ReadAll(reader, rate, samples, error, max_samples);
}

bool ReadWavMono16(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error,
                   uint64_t max_samples) {
  WavReader reader;
  if (!reader.Open(path, rate, error)) return false;
  if (!ReadAll(reader, rate, samples, error, max_samples)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace vantorel
