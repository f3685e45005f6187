// vantorel-cli g726 encode|decode IN OUT: G.726 32 kbit/s files, as the camera sends and
// takes them. One fresh coder state per file, carried through the whole file.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
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
constexpr size_t kMaxInputBytes = size_t{256} << 20;

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

// A .raw or .s16 file.
bool ReadRawSamples(const std::string& path, std::vector<int16_t>& samples, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, bytes, error, kMaxInputBytes)) return false;
  if (bytes.size() % 2 != 0) {
    error = path + ": odd number of bytes, not 16-bit samples";
    return false;
  }
  samples.resize(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return true;
}

bool WriteSamples(const std::string& path, FileKind kind, const std::vector<int16_t>& samples, std::string& error) {
  if (kind == FileKind::kWav) return WriteWavMono16(path, kRate, samples, error);
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(samples[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
  }
  return WriteFileBytes(path, bytes, error);
}

// Codes `samples` with `state` and appends them to `out`. An odd sample is kept in `carry`
// for the next call, so that a file coded in pieces is coded exactly as in one go.
bool EncodePiece(std::vector<int16_t>& carry, std::span<const int16_t> samples, bool last, G726State& state,
                 ReplacingFile& out, std::string& error) {
  carry.insert(carry.end(), samples.begin(), samples.end());
  const size_t count = last ? carry.size() : carry.size() & ~size_t{1};
  std::vector<uint8_t> codes((count + 1) / 2);
  codes.resize(G726EncodeBlock(codes.data(), carry.data(), count, state));
  carry.erase(carry.begin(), carry.begin() + static_cast<ptrdiff_t>(count));
  return out.Write(codes, error);
}

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
  G726State state;
  G726InitState(state);
  std::vector<int16_t> carry;
  ReplacingFile file;
  if (in_kind == FileKind::kSamples) {
    std::vector<int16_t> samples;
    return ReadRawSamples(in, samples, error) && file.Create(out, kOutputFileMode, error) &&
           EncodePiece(carry, samples, true, state, file, error) && file.Commit(error);
  }
  // A WAV file is converted and coded block by block: any length takes the same memory.
  WavReader reader;
  if (!reader.Open(in, kRate, error) || !file.Create(out, kOutputFileMode, error)) return false;
  std::vector<int16_t> block;
  do {
    if (!reader.Next(block, error)) {
      error = in + ": " + error;
      return false;  // the unfinished output goes with `file`
    }
    if (!EncodePiece(carry, block, block.empty(), state, file, error)) return false;
  } while (!block.empty());
  return file.Commit(error);
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
  std::vector<uint8_t> codes;
  if (!ReadFileBytes(in, codes, error, kMaxInputBytes)) return false;
  G726State state;
  G726InitState(state);
  std::vector<int16_t> samples(codes.size() * 2);
  G726DecodeBlock(samples.data(), codes.data(), codes.size(), state);
  return WriteSamples(out, out_kind, samples, error);
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
