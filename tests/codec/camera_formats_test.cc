// The sound formats cameras send, checked against an independent implementation (FFmpeg's
// libavcodec): which half of a byte holds the earlier G.726 code in "audio/32KADPCM" and in
// "audio/G726-32", and G.711 mu-law ("audio/basic") both ways, every code and sample.

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "codec/g711.h"
#include "codec/g726.h"

namespace vantorel {
namespace {

// FFmpeg's decoder `id` over `bytes`, all of it, as 16-bit samples.
std::vector<int16_t> FfmpegDecode(AVCodecID id, const std::vector<uint8_t>& bytes) {
  const AVCodec* codec = avcodec_find_decoder(id);
  if (!codec) return {};
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = 8000;
  av_channel_layout_default(&ctx->ch_layout, 1);
  ctx->bits_per_coded_sample = id == AV_CODEC_ID_PCM_MULAW ? 8 : 4;
  std::vector<int16_t> out;
  if (avcodec_open2(ctx, codec, nullptr) == 0) {
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    av_new_packet(packet, static_cast<int>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), packet->data);
    if (avcodec_send_packet(ctx, packet) == 0) {
      while (avcodec_receive_frame(ctx, frame) == 0) {
        const auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
        out.insert(out.end(), s, s + frame->nb_samples);
      }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
  }
  avcodec_free_context(&ctx);
  return out;
}

// FFmpeg's mu-law encoder over `samples`.
std::vector<uint8_t> FfmpegMuLaw(const std::vector<int16_t>& samples) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PCM_MULAW);
  if (!codec) return {};
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = 8000;
  ctx->sample_fmt = AV_SAMPLE_FMT_S16;
  av_channel_layout_default(&ctx->ch_layout, 1);
  std::vector<uint8_t> out;
  if (avcodec_open2(ctx, codec, nullptr) == 0) {
    AVFrame* frame = av_frame_alloc();
    frame->nb_samples = static_cast<int>(samples.size());
    frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&frame->ch_layout, 1);
    AVPacket* packet = av_packet_alloc();
    if (av_frame_get_buffer(frame, 0) == 0) {
      std::copy(samples.begin(), samples.end(), reinterpret_cast<int16_t*>(frame->data[0]));
      if (avcodec_send_frame(ctx, frame) == 0 && avcodec_receive_packet(ctx, packet) == 0) {
        out.assign(packet->data, packet->data + packet->size);
      }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
  avcodec_free_context(&ctx);
  return out;
}

std::vector<int16_t> Speechlike(size_t n) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / 8000;
    s[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t) * std::sin(2 * M_PI * 3 * t) +
                                3000 * std::sin(2 * M_PI * 1330 * t));
  }
  return s;
}

// How closely `b` follows `a`, in dB (signal over difference).
double Agreement(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    const double x = a[i], y = b[i];
    signal += x * x;
    noise += (x - y) * (x - y);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

// FFmpeg's G.726 is not bit-exact with the standard (ours is, tests/codec/g726_*), but it
// follows our decoding closely under the matching name and not at all under the other.
TEST(CameraFormatsTest, EachG726PackingIsTheOneFfmpegReadsUnderItsName) {
  const std::vector<int16_t> sound = Speechlike(8000);
  for (const auto& [packing, same, other] :
       {std::tuple{G726Packing::kEarlierLow, AV_CODEC_ID_ADPCM_G726LE, AV_CODEC_ID_ADPCM_G726},
        std::tuple{G726Packing::kEarlierHigh, AV_CODEC_ID_ADPCM_G726, AV_CODEC_ID_ADPCM_G726LE}}) {
    G726State encoder, decoder;
    G726InitState(encoder);
    G726InitState(decoder);
    std::vector<uint8_t> codes(sound.size() / 2);
    G726EncodeBlock(codes.data(), sound.data(), sound.size(), encoder, packing);
    std::vector<int16_t> ours(sound.size());
    G726DecodeBlock(ours.data(), codes.data(), codes.size(), decoder, packing);
    EXPECT_GT(Agreement(ours, FfmpegDecode(same, codes)), 20) << static_cast<int>(packing);
    EXPECT_LT(Agreement(ours, FfmpegDecode(other, codes)), 10) << static_cast<int>(packing);
  }
}

TEST(CameraFormatsTest, MuLawMatchesFfmpegForEveryCodeAndSample) {
  std::vector<uint8_t> codes(256);
  for (int c = 0; c < 256; ++c) codes[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
  const std::vector<int16_t> theirs = FfmpegDecode(AV_CODEC_ID_PCM_MULAW, codes);
  ASSERT_EQ(theirs.size(), 256u);
  for (int c = 0; c < 256; ++c) EXPECT_EQ(MuLawDecode(static_cast<uint8_t>(c)), theirs[static_cast<size_t>(c)]) << c;
  std::vector<int16_t> every(65536);
  for (int v = -32768; v <= 32767; ++v) every[static_cast<size_t>(v + 32768)] = static_cast<int16_t>(v);
  std::vector<uint8_t> ours(every.size());
  MuLawEncodeBlock(ours.data(), every.data(), every.size());
  EXPECT_EQ(ours, FfmpegMuLaw(every));
}

}  // namespace
}  // namespace vantorel
