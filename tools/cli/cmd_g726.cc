// vantorel-cli g726 encode|decode IN OUT: G.726 32 kbit/s files, as the camera sends and
// takes them. One fresh coder state per file, carried through the whole file, which is
// read, coded and written block by block.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "codec/g726.h"
#include "commands.h"
#include "files/file_bytes.h"
#include "files/replacing_file.h"
#include "files/wav_file.h"

namespace vantorel::cli {
namespace {

constexpr int kRate = 8000;
// Input and output go in blocks of this many bytes of samples: memory stays flat whatever
// the files' length.
constexpr size_t kBlockBytes = size_t{256} << 10;

enum class FileKind {
  kWav,      // .wav: read as any WAV (converted to 8000 Hz mono), written as 8000 Hz mono 16-bit
  kSamples,  // .raw, .s16: little-endian 16-bit samples at 8000 Hz
  kCodes,    // .g726: two codes per byte, the earlier sample in the low four bits
  kUnknown,
};

FileKind KindOf(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return FileKind::kUnknown;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "wav") return FileKind::kWav;
  if (ext == "raw" || ext == "s16") return FileKind::kSamples;
  if (ext == "g726") return FileKind::kCodes;
  return FileKind::kUnknown;
}

// Where coded sound goes, piece by piece: a .g726 file, or samples as .raw/.s16 or .wav.
class Output {
 public:
  bool Open(const std::string& path, FileKind kind, std::string& error) {
    kind_ = kind;
    return kind == FileKind::kWav ? wav_.Open(path, kRate, error) : file_.Create(path, kOutputFileMode, error);
  }
  bool Codes(std::span<const uint8_t> codes, std::string& error) { return file_.Write(codes, error); }
  bool Samples(std::span<const int16_t> samples, std::string& error) {
    if (kind_ == FileKind::kWav) return wav_.Append(samples, error);
    bytes_.resize(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
      bytes_[2 * i] = static_cast<uint8_t>(samples[i]);
      bytes_[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    return file_.Write(bytes_, error);
  }
  bool Finish(std::string& error) { return kind_ == FileKind::kWav ? wav_.Finish(error) : file_.Commit(error); }

 private:
  FileKind kind_ = FileKind::kUnknown;
  ReplacingFile file_;  // dropped unless committed
  WavWriter wav_;
  std::vector<uint8_t> bytes_;
};

// Codes sound piece by piece with one coder state. The coder takes samples in pairs, so
// an odd sample waits for the next piece: a file coded in pieces is coded exactly as in
// one go.
class Encoder {
 public:
  Encoder() { G726InitState(state_); }
  bool Piece(std::span<const int16_t> samples, bool last, Output& out, std::string& error) {
    std::span<const int16_t> whole = samples;
    if (waiting_) {
      joined_.assign(1, *waiting_);
      joined_.insert(joined_.end(), samples.begin(), samples.end());
      whole = joined_;
      waiting_.reset();
    }
    const size_t count = last ? whole.size() : whole.size() & ~size_t{1};
    codes_.resize((count + 1) / 2);
    codes_.resize(G726EncodeBlock(codes_.data(), whole.data(), count, state_));
    if (count < whole.size()) waiting_ = whole[count];
    return out.Codes(codes_, error);
  }

 private:
  G726State state_;
  std::optional<int16_t> waiting_;
  std::vector<int16_t> joined_;
  std::vector<uint8_t> codes_;
};

// A .raw or .s16 file, a block at a time, as samples. False with a reason naming the
// file; an odd byte at the end is refused.
class RawSamples {
 public:
  bool Open(const std::string& path, std::string& error) {
    path_ = path;
    return file_.Open(path, error);
  }
  // Replaces `samples` with the next ones; empty at the end.
  bool Next(std::vector<int16_t>& samples, std::string& error) {
    size_t got = 0;
    if (!file_.Read(std::span(bytes_).subspan(odd_), got, error)) return false;
    got += odd_;
    if (got == odd_ && odd_ != 0) {
      error = path_ + ": odd number of bytes, not 16-bit samples";
      return false;
    }
    samples.resize(got / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int16_t>(bytes_[2 * i] | bytes_[2 * i + 1] << 8);
    }
    odd_ = got % 2;
    if (odd_) bytes_[0] = bytes_[got - 1];
    return true;
  }

 private:
  std::string path_;
  FileReader file_;
  std::vector<uint8_t> bytes_ = std::vector<uint8_t>(kBlockBytes);
  size_t odd_ = 0;  // a byte of the next sample, kept at the front
};

bool Encode(const std::string& in, const std::string& out, std::string& error) {
  const FileKind in_kind = KindOf(in);
  if (in_kind != FileKind::kWav && in_kind != FileKind::kSamples) {
    error = in + ": encode reads .wav, .raw or .s16";
    return false;
  }
  if (KindOf(out) != FileKind::kCodes) {
    error = out + ": encode writes .g726";
    return false;
  }
  // Either input is converted and coded block by block: any length takes the same memory.
  WavReader wav;
  RawSamples raw;
  const bool is_wav = in_kind == FileKind::kWav;
  if (!(is_wav ? wav.Open(in, kRate, error) : raw.Open(in, error))) return false;
  Output file;
  if (!file.Open(out, FileKind::kCodes, error)) return false;
  Encoder encoder;
  std::vector<int16_t> block;
  do {
    if (!(is_wav ? wav.Next(block, error) : raw.Next(block, error))) {
      if (is_wav) error = in + ": " + error;
      return false;  // the unfinished output goes with `file`
    }
    if (!encoder.Piece(block, block.empty(), file, error)) return false;
  } while (!block.empty());
  return file.Finish(error);
}

bool Decode(const std::string& in, const std::string& out, std::string& error) {
  if (KindOf(in) != FileKind::kCodes) {
    error = in + ": decode reads .g726";
    return false;
  }
  const FileKind out_kind = KindOf(out);
  if (out_kind != FileKind::kWav && out_kind != FileKind::kSamples) {
    error = out + ": decode writes .wav, .raw or .s16";
    return false;
  }
  FileReader codes_in;
  Output file;
  if (!codes_in.Open(in, error) || !file.Open(out, out_kind, error)) return false;
  G726State state;
  G726InitState(state);
  std::vector<uint8_t> codes(kBlockBytes / 4);  // each byte gives two samples of two bytes
  std::vector<int16_t> samples;
  for (;;) {
    size_t got = 0;
    if (!codes_in.Read(codes, got, error)) return false;
    if (got == 0) return file.Finish(error);
    samples.resize(got * 2);
    G726DecodeBlock(samples.data(), codes.data(), got, state);
    if (!file.Samples(samples, error)) return false;
  }
}

}  // namespace

int RunG726(int argc, char** argv) {
  const bool encode = argc == 4 && std::strcmp(argv[1], "encode") == 0;
  const bool decode = argc == 4 && std::strcmp(argv[1], "decode") == 0;
  if (!encode && !decode) {
    std::fputs(
        "usage: vantorel-cli g726 encode IN OUT   IN .wav, .raw or .s16; OUT .g726\n"
        "       vantorel-cli g726 decode IN OUT   IN .g726; OUT .wav, .raw or .s16\n"
        ".wav: any WAV (PCM, float, mu-law, A-law, ADPCM, RF64); other rates and channel\n"
        "counts are converted to 8000 Hz mono.\n"
        ".raw/.s16: little-endian 16-bit samples at 8000 Hz.\n"
        ".g726: 32 kbit/s codes, two per byte, the earlier sample in the low four bits\n"
        "(an odd sample count ends in a byte whose high four bits are 0).\n",
        stderr);
    return 2;
  }
  std::string error;
  if (!(encode ? Encode(argv[2], argv[3], error) : Decode(argv[2], argv[3], error))) {
    std::fprintf(stderr, "vantorel-cli g726: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace vantorel::cli
