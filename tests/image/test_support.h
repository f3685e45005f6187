#pragma once
// Helpers for the picture tests: scratch directories, JPEGs from several encoders, the
// djpeg oracle, and pixel comparison against a .bmp file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "image/image_bitmap.h"

namespace vantorel::test {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the life of the object (set it before threads start).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// Red-green-blue test pixels with smooth gradients, edges and some noise, rows top down.
std::vector<uint8_t> TestPicture(int width, int height, unsigned seed = 1);
// One grey byte per pixel, derived from TestPicture.
std::vector<uint8_t> GreyPicture(int width, int height);

// A JPEG of TestPicture made by libavcodec's MJPEG encoder, an encoder independent of
// libjpeg. `chroma` is 420, 422 or 444.
std::string EncodeWithLibavcodec(int width, int height, int chroma);

// Runs libjpeg-turbo's cjpeg on a PPM (or PGM when grey) of TestPicture with `flags`.
std::string EncodeWithCjpeg(int width, int height, const std::string& flags, bool grey = false);

// djpeg -dct fast -bmp (plus -rgb for grey input) on the JPEG bytes: the reference decode.
std::string DjpegBmp(const std::string& jpeg, bool grey);

// Decodes JPEG bytes with DecodeJpeg into `picture`.
bool DecodeBytes(const std::string& jpeg, ImageBitmap& picture, std::string* failure = nullptr);

// Empty when every pixel is opaque and equals the 24-bit .bmp file's (stored bottom row
// first, blue, green, red); else the first difference.
std::string ComparePixels(const ImageBitmap& picture, const std::string& bmp);

}  // namespace vantorel::test
