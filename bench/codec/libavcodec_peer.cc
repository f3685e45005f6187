#include <cstring>
#include <stdexcept>

#include "peers.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace vantorel::bench {

struct LibavcodecPeer::Contexts {
  AVCodecContext* encoder = nullptr;
  AVCodecContext* decoder = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~Contexts() {
    avcodec_free_context(&encoder);
    avcodec_free_context(&decoder);
    av_frame_free(&frame);
    av_packet_free(&packet);
  }
};

namespace {

AVCodecContext* Open(const AVCodec* codec) {
  if (codec == nullptr) throw std::runtime_error("libavcodec has no g726le");
  AVCodecContext* c = avcodec_alloc_context3(codec);
  c->sample_rate = 8000;
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  c->bit_rate = 32000;
  c->bits_per_coded_sample = 4;
  c->ch_layout = AV_CHANNEL_LAYOUT_MONO;
  if (avcodec_open2(c, codec, nullptr) < 0) {
    avcodec_free_context(&c);
    throw std::runtime_error("avcodec_open2 failed for g726le");
  }
  return c;
}

}  // namespace

LibavcodecPeer::LibavcodecPeer() : av_(std::make_unique<Contexts>()) {
  av_->encoder = Open(avcodec_find_encoder_by_name("g726le"));
  av_->decoder = Open(avcodec_find_decoder_by_name("g726le"));
  av_->frame = av_frame_alloc();
  av_->packet = av_packet_alloc();
}

LibavcodecPeer::~LibavcodecPeer() = default;

int LibavcodecPeer::FrameSize() const { return av_->encoder->frame_size; }

int LibavcodecPeer::Encode(uint8_t* out, const int16_t* samples, int count) {
  AVFrame* f = av_->frame;
  int written = 0;
  for (int start = 0; start + FrameSize() <= count; start += FrameSize()) {
    av_frame_unref(f);
    f->nb_samples = FrameSize();
    f->format = AV_SAMPLE_FMT_S16;
    f->sample_rate = 8000;
    f->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    if (av_frame_get_buffer(f, 0) < 0) throw std::runtime_error("av_frame_get_buffer failed");
    std::memcpy(f->data[0], samples + start, FrameSize() * sizeof(int16_t));
    if (avcodec_send_frame(av_->encoder, f) < 0) throw std::runtime_error("avcodec_send_frame failed");
    while (avcodec_receive_packet(av_->encoder, av_->packet) == 0) {
      std::memcpy(out + written, av_->packet->data, av_->packet->size);
      written += av_->packet->size;
      av_packet_unref(av_->packet);
    }
  }
  return written;
}

int LibavcodecPeer::Decode(int16_t* out, const uint8_t* bytes, int length) {
  AVPacket* p = av_->packet;
  if (av_new_packet(p, length) < 0) throw std::runtime_error("av_new_packet failed");
  std::memcpy(p->data, bytes, length);
  const int sent = avcodec_send_packet(av_->decoder, p);
  av_packet_unref(p);
  if (sent < 0) throw std::runtime_error("avcodec_send_packet failed");
  int produced = 0;
  while (avcodec_receive_frame(av_->decoder, av_->frame) == 0) {
    std::memcpy(out + produced, av_->frame->data[0], av_->frame->nb_samples * sizeof(int16_t));
    produced += av_->frame->nb_samples;
    av_frame_unref(av_->frame);
  }
  return produced;
}

}  // namespace vantorel::bench
