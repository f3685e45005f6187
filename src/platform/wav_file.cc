#include "platform/wav_file.h"

#include <SDL.h>

#include <cstring>
#include <memory>

#include "platform/file_bytes.h"

namespace vantorel {
namespace {

constexpr uint16_t kWavFormatExtensible = 0xFFFE;
// Source rates outside this range are refused rather than resampled into giant buffers.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;
// Sound data beyond this is refused: SDL's converter counts bytes in an int, and the
// conversion may need several times the input.
constexpr size_t kMaxDataBytes = size_t{256} << 20;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  PutLe16(out, static_cast<uint16_t>(v));
  PutLe16(out, static_cast<uint16_t>(v >> 16));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

bool ParseFormat(const uint8_t* p, uint32_t size, WavInfo& info, std::string& error) {
  if (size < 16) {
    error = "WAV format chunk too short";
    return false;
  }
  info.format_tag = Le16(p);
  info.channels = Le16(p + 2);
  info.sample_rate = static_cast<int>(Le32(p + 4) & 0x7FFFFFFF);
  info.bits_per_sample = Le16(p + 14);
  // WAVE_FORMAT_EXTENSIBLE names the real format in the first two bytes of its GUID.
  if (info.format_tag == kWavFormatExtensible && size >= 26) info.format_tag = Le16(p + 24);
  if (info.channels == 0 || info.sample_rate == 0) {
    error = "WAV format chunk has no channels or no sample rate";
    return false;
  }
  return true;
}

// SDL's converter reads 8-bit PCM as unsigned, 16 and 32 bits as signed little-endian;
// 24-bit samples are widened to 32 bits here first.
bool SdlFormatFor(int bits, SDL_AudioFormat& format) {
  switch (bits) {
    case 8: format = AUDIO_U8; return true;
    case 16: format = AUDIO_S16LSB; return true;
    case 24:
    case 32: format = AUDIO_S32LSB; return true;
    default: return false;
  }
}

std::vector<uint8_t> Widen24To32(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  out.reserve(data.size() / 3 * 4);
  for (size_t i = 0; i + 3 <= data.size(); i += 3) {
    out.push_back(0);
    out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i), data.begin() + static_cast<ptrdiff_t>(i) + 3);
  }
  return out;
}

struct SdlFree {
  void operator()(Uint8* p) const { SDL_free(p); }
};

bool Convert(std::span<const uint8_t> source, SDL_AudioFormat format, int channels, int source_rate, int rate,
             std::vector<int16_t>& samples, std::string& error) {
  SDL_AudioCVT cvt;
  if (SDL_BuildAudioCVT(&cvt, format, static_cast<Uint8>(channels), source_rate, AUDIO_S16LSB, 1, rate) < 0) {
    error = std::string("cannot convert this WAV layout: ") + SDL_GetError();
    return false;
  }
  cvt.len = static_cast<int>(source.size());
  std::unique_ptr<Uint8, SdlFree> buffer(
      static_cast<Uint8*>(SDL_malloc(source.size() * static_cast<size_t>(cvt.len_mult) + 1)));
  if (!buffer) {
    error = "out of memory converting the WAV file";
    return false;
  }
  cvt.buf = buffer.get();
  std::memcpy(cvt.buf, source.data(), source.size());
  if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) {
    error = std::string("cannot convert the WAV file: ") + SDL_GetError();
    return false;
  }
  const size_t bytes = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : source.size();
  samples.resize(bytes / 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(Le16(cvt.buf + 2 * i));
  return true;
}

}  // namespace

bool ParseWav(std::span<const uint8_t> file, WavInfo& info, std::string& error) {
  info = WavInfo{};
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
    error = "not a WAV file (no RIFF/WAVE header)";
    return false;
  }
  bool have_format = false;
  bool have_data = false;
  size_t pos = 12;
  while (pos + 8 <= file.size() && !(have_format && have_data)) {
    const uint8_t* chunk = file.data() + pos;
    const size_t size = Le32(chunk + 4);
    const size_t available = file.size() - (pos + 8);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size > available) break;
      if (!ParseFormat(chunk + 8, static_cast<uint32_t>(size), info, error)) return false;
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      info.data = file.subspan(pos + 8, std::min(size, available));
      have_data = true;
    }
    if (size > available) break;
    pos += 8 + size + (size & 1);  // chunks are padded to an even length
  }
  if (!have_format) {
    error = "WAV file has no format chunk";
    return false;
  }
  if (!have_data) {
    error = "WAV file has no data chunk";
    return false;
  }
  const size_t frame = static_cast<size_t>(info.channels) * ((static_cast<size_t>(info.bits_per_sample) + 7) / 8);
  if (frame == 0) {
    error = "WAV format chunk has a sample width of 0 bits";
    return false;
  }
  info.data = info.data.first(info.data.size() / frame * frame);
  return true;
}

bool DecodeWavMono16(std::span<const uint8_t> file, int rate, std::vector<int16_t>& samples, std::string& error) {
  WavInfo info;
  if (!ParseWav(file, info, error)) return false;
  if (info.format_tag != kWavFormatPcm) {
    error = "not a PCM WAV file (format " + std::to_string(info.format_tag) + ")";
    return false;
  }
  SDL_AudioFormat format;
  if (!SdlFormatFor(info.bits_per_sample, format)) {
    error = "unsupported sample width of " + std::to_string(info.bits_per_sample) + " bits";
    return false;
  }
  if (info.sample_rate < kMinRate || info.sample_rate > kMaxRate) {
    error = "unsupported sample rate of " + std::to_string(info.sample_rate) + " Hz";
    return false;
  }
  if (info.data.size() > kMaxDataBytes) {
    error = "too much sound (more than " + std::to_string(kMaxDataBytes >> 20) + " MiB)";
    return false;
  }
  samples.clear();
  if (info.data.empty()) return true;
  std::vector<uint8_t> widened;
  std::span<const uint8_t> source = info.data;
  if (info.bits_per_sample == 24) {
    widened = Widen24To32(source);
    source = widened;
  }
  return Convert(source, format, info.channels, info.sample_rate, rate, samples, error);
}

bool ReadWavMono16(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error) {
  std::vector<uint8_t> file;
  if (!ReadFileBytes(path, file, error, kMaxDataBytes + (size_t{1} << 20))) return false;
  if (!DecodeWavMono16(file, rate, samples, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

namespace {

constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFu - 36;

// The 44-byte header of a 16-bit mono PCM file with `data_bytes` of sound.
std::vector<uint8_t> WavHeader(int rate, uint32_t data_bytes) {
  std::vector<uint8_t> out;
  out.reserve(44);
  PutTag(out, "RIFF");
  PutLe32(out, 36 + data_bytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutLe32(out, 16);
  PutLe16(out, kWavFormatPcm);
  PutLe16(out, 1);                                 // channels
  PutLe32(out, static_cast<uint32_t>(rate));       // sample rate
  PutLe32(out, static_cast<uint32_t>(rate) * 2);   // bytes per second
  PutLe16(out, 2);                                 // bytes per sample frame
  PutLe16(out, 16);                                // bits per sample
  PutTag(out, "data");
  PutLe32(out, data_bytes);
  return out;
}

void PutSamples(std::vector<uint8_t>& out, std::span<const int16_t> samples) {
  for (int16_t s : samples) PutLe16(out, static_cast<uint16_t>(s));
}

}  // namespace

bool WriteWavMono16(const std::string& path, int rate, std::span<const int16_t> samples, std::string& error) {
  const uint64_t data_bytes = uint64_t{samples.size()} * 2;
  if (data_bytes > kMaxWavDataBytes) {
    error = path + ": too much sound for one WAV file";
    return false;
  }
  std::vector<uint8_t> out = WavHeader(rate, static_cast<uint32_t>(data_bytes));
  out.reserve(44 + data_bytes);
  PutSamples(out, samples);
  return WriteFileBytes(path, out, error);
}

bool WavWriter::Open(const std::string& path, int rate, std::string& error) {
  rate_ = rate;
  data_bytes_ = 0;
  return file_.Create(path, error) && file_.Write(WavHeader(rate, static_cast<uint32_t>(kMaxWavDataBytes)), error);
}

bool WavWriter::Append(std::span<const int16_t> samples, std::string& error) {
  if (data_bytes_ + uint64_t{samples.size()} * 2 > kMaxWavDataBytes) {
    error = "too much sound for one WAV file";
    file_.Abandon();
    return false;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  PutSamples(bytes, samples);
  if (!file_.Write(bytes, error)) return false;
  data_bytes_ += bytes.size();
  return true;
}

bool WavWriter::Finish(std::string& error) {
  return file_.WriteAt(0, WavHeader(rate_, static_cast<uint32_t>(data_bytes_)), error) && file_.Commit(error);
}

}  // namespace vantorel
