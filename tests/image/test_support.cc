#include "test_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "image/jpeg_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace vantorel::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  char pattern[] = "/tmp/vantorel-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<uint8_t> TestPicture(int width, int height, unsigned seed) {
  std::vector<uint8_t> p(static_cast<size_t>(width) * height * 3);
  unsigned noise = seed;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      uint8_t* px = &p[(static_cast<size_t>(y) * width + x) * 3];
      const bool box = (x / 16 + y / 16) % 3 == 0;  // hard edges
      px[0] = static_cast<uint8_t>(box ? 230 : (x * 255) / std::max(1, width - 1));
      px[1] = static_cast<uint8_t>((y * 255) / std::max(1, height - 1));
      px[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + y) / 9.0) + ((noise >> 16) & 15));
    }
  }
  return p;
}

std::vector<uint8_t> GreyPicture(int width, int height) {
  const auto rgb = TestPicture(width, height);
  std::vector<uint8_t> grey(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>((rgb[i * 3] + 2 * rgb[i * 3 + 1] + rgb[i * 3 + 2]) / 4);
  return grey;
}

std::string EncodeWithLibavcodec(int width, int height, int chroma) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (!codec) throw std::runtime_error("no MJPEG encoder in libavcodec");
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = width;
  ctx->height = height;
  ctx->time_base = {1, 25};
  ctx->pix_fmt = chroma == 444 ? AV_PIX_FMT_YUVJ444P : chroma == 422 ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUVJ420P;
  ctx->color_range = AVCOL_RANGE_JPEG;
  ctx->flags |= AV_CODEC_FLAG_QSCALE;
  ctx->global_quality = FF_QP2LAMBDA * 3;
  if (avcodec_open2(ctx, codec, nullptr) < 0) throw std::runtime_error("cannot open the MJPEG encoder");

  AVFrame* frame = av_frame_alloc();
  frame->format = ctx->pix_fmt;
  frame->width = width;
  frame->height = height;
  av_frame_get_buffer(frame, 0);
  const auto rgb = TestPicture(width, height);
  const int cw = chroma == 444 ? 1 : 2, ch = chroma == 420 ? 2 : 1;  // chroma block size
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      frame->data[0][y * frame->linesize[0] + x] =
          static_cast<uint8_t>(std::lround(0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2]));
    }
  }
  for (int cy = 0; cy * ch < height; ++cy) {
    for (int cx = 0; cx * cw < width; ++cx) {
      double cb = 0, cr = 0;
      int n = 0;
      for (int y = cy * ch; y < std::min(height, (cy + 1) * ch); ++y) {
        for (int x = cx * cw; x < std::min(width, (cx + 1) * cw); ++x, ++n) {
          const uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
          cb += 128 - 0.168736 * px[0] - 0.331264 * px[1] + 0.5 * px[2];
          cr += 128 + 0.5 * px[0] - 0.418688 * px[1] - 0.081312 * px[2];
        }
      }
      frame->data[1][cy * frame->linesize[1] + cx] = static_cast<uint8_t>(std::clamp(std::lround(cb / n), 0L, 255L));
      frame->data[2][cy * frame->linesize[2] + cx] = static_cast<uint8_t>(std::clamp(std::lround(cr / n), 0L, 255L));
    }
  }
  frame->pts = 0;
  frame->quality = ctx->global_quality;
  std::string jpeg;
  AVPacket* packet = av_packet_alloc();
  if (avcodec_send_frame(ctx, frame) == 0 && avcodec_send_frame(ctx, nullptr) == 0 &&
      avcodec_receive_packet(ctx, packet) == 0) {
    jpeg.assign(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  if (jpeg.empty()) throw std::runtime_error("libavcodec produced no JPEG");
  return jpeg;
}

namespace {

std::string RunCommand(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

}  // namespace

std::string EncodeWithCjpeg(int width, int height, const std::string& flags, bool grey) {
  ScratchDir dir;
  const std::string in = dir.File(grey ? "in.pgm" : "in.ppm");
  std::string pnm = (grey ? "P5\n" : "P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  const auto pixels = grey ? GreyPicture(width, height) : TestPicture(width, height);
  pnm.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());
  WriteBytes(in, pnm);
  return RunCommand(std::string(VANTOREL_CJPEG) + " " + flags + " " + in);
}

std::string DjpegBmp(const std::string& jpeg, bool grey) {
  ScratchDir dir;
  const std::string in = dir.File("in.jpg");
  WriteBytes(in, jpeg);
  return RunCommand(std::string(VANTOREL_DJPEG) + " -dct fast -bmp" + (grey ? " -rgb " : " ") + in + " 2>/dev/null");
}

bool DecodeBytes(const std::string& jpeg, ImageBitmap& picture, std::string* failure) {
  return DecodeJpeg(std::span(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()), picture, failure);
}

std::string ComparePixels(const ImageBitmap& picture, const std::string& bmp) {
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, bmp.data() + at, 4);
    return v;
  };
  if (bmp.size() < 54 || bmp.compare(0, 2, "BM") != 0) return "the reference is not a BMP file";
  const uint32_t offset = u32(10);
  const auto width = static_cast<int32_t>(u32(18)), height = static_cast<int32_t>(u32(22));
  const uint16_t bits = static_cast<uint16_t>(static_cast<uint8_t>(bmp[28]) | static_cast<uint8_t>(bmp[29]) << 8);
  if (bits != 24) return "the reference has " + std::to_string(bits) + " bits per pixel";
  if (width != picture.width || height != picture.height) {
    return "size " + std::to_string(picture.width) + "x" + std::to_string(picture.height) +
           " differs from the reference " + std::to_string(width) + "x" + std::to_string(height);
  }
  if (picture.pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return "pixels missing";
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (bmp.size() < offset + stride * height) return "the reference is short";
  for (int y = 0; y < height; ++y) {
    const auto* theirs = reinterpret_cast<const uint8_t*>(bmp.data() + offset + (height - 1 - y) * stride);
    for (int x = 0; x < width; ++x, theirs += 3) {
      const uint32_t expected = 0xff000000u | uint32_t{theirs[2]} << 16 | uint32_t{theirs[1]} << 8 | theirs[0];
      const uint32_t ours = picture.Row(y)[x];
      if (ours != expected) {
        char text[96];
        std::snprintf(text, sizeof text, "row %d, pixel %d: %08x instead of %08x", y, x, ours, expected);
        return text;
      }
    }
  }
  return {};
}

}  // namespace vantorel::test
