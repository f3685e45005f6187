#include "image/jpeg_decode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "runtime/log.h"

namespace vantorel {

namespace {

// libjpeg is C: its fatal errors leave through longjmp back into DecodeInto, never by a
// C++ exception unwinding through C frames.
struct ErrorManager {
  jpeg_error_mgr pub;  // first: libjpeg sees only this part
  jmp_buf escape;
  char message[JMSG_LENGTH_MAX];
};

ErrorManager* ErrorsOf(j_common_ptr cinfo) { return reinterpret_cast<ErrorManager*>(cinfo->err); }

// Warnings and errors alike: formatted, then shown only by the diagnostic log.
void OutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  LogFailure("jpeg: %s", text);
}

[[noreturn]] void Abandon(j_common_ptr cinfo) {
  LogFailure("jpeg: %s", ErrorsOf(cinfo)->message);
  jpeg_destroy(cinfo);
  std::longjmp(ErrorsOf(cinfo)->escape, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->format_message)(cinfo, ErrorsOf(cinfo)->message);
  Abandon(cinfo);
}

// Our own refusals end exactly like libjpeg's fatal errors.
[[noreturn]] __attribute__((format(printf, 2, 3))) void Refuse(j_decompress_ptr cinfo, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(ErrorsOf(reinterpret_cast<j_common_ptr>(cinfo))->message, JMSG_LENGTH_MAX, format, args);
  va_end(args);
  Abandon(reinterpret_cast<j_common_ptr>(cinfo));
}

void CountScans(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) Refuse(d, "more than %d scans", kMaxJpegScans);
}

// Room for `count` pixels, reusing the storage's capacity; false when memory is short. No
// C++ exception may leave through the decoder's frames.
bool MakeRoom(std::vector<uint32_t>& pixels, size_t count) noexcept {
  try {
    pixels.resize(count);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The most rows handed to libjpeg per call. Its upsampler makes one row group (as many rows
// as the largest vertical sampling factor, 1 to 4) per call, and that many are offered.
constexpr JDIMENSION kMaxRowsPerRead = 4;

// Everything between setjmp and a longjmp is plain C data, so the jump skips no destructor;
// `picture` is changed only by our own code, never from inside a libjpeg call.
bool DecodeInto(const uint8_t* data, size_t length, ImageBitmap& picture, char (&message)[JMSG_LENGTH_MAX]) {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  jpeg_progress_mgr progress{};

  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ErrorExit;
  errors.pub.output_message = OutputMessage;
  errors.message[0] = '\0';
  if (setjmp(errors.escape)) {
    jpeg_destroy_decompress(&cinfo);  // again: harmless once destroyed
    std::snprintf(message, sizeof message, "%s", errors.message);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  // libjpeg's memory source: an empty buffer is a fatal error; a buffer that ends early
  // gives a warning and a fake end-of-image marker, so the missing rows are filled.
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(length));
  progress.progress_monitor = CountScans;
  cinfo.progress = &progress;
  jpeg_read_header(&cinfo, TRUE);

  cinfo.dct_method = JDCT_IFAST;
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:  // expanded to three equal components
    case JCS_YCbCr:
    case JCS_RGB:
      // Blue, green, red and a byte of 0xff per pixel: 0xffRRGGBB, the window's form.
      cinfo.out_color_space = JCS_EXT_BGRX;
      break;
    default:
      Refuse(&cinfo, "colour space %d is neither grey nor colour", static_cast<int>(cinfo.jpeg_color_space));
  }
  jpeg_calc_output_dimensions(&cinfo);
  if (cinfo.output_components != 4) Refuse(&cinfo, "%d output components", cinfo.output_components);
  const uint64_t needed = ImageBitmapBytes(cinfo.output_width, cinfo.output_height);
  if (needed > kMaxBitmapBytes) {
    Refuse(&cinfo, "%ux%u pixels would need %llu bytes", cinfo.output_width, cinfo.output_height,
           static_cast<unsigned long long>(needed));
  }
  cinfo.mem->max_memory_to_use = kMaxJpegWorkMemory;

  jpeg_start_decompress(&cinfo);
  const JDIMENSION width = cinfo.output_width;
  const JDIMENSION height = cinfo.output_height;
  if (ImageBitmapBytes(width, height) != needed) Refuse(&cinfo, "output size changed");
  if (!MakeRoom(picture.pixels, static_cast<size_t>(needed / 4))) {
    Refuse(&cinfo, "out of memory for %llu bytes", static_cast<unsigned long long>(needed));
  }
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);

  uint32_t* const pixels = picture.pixels.data();
  const auto per_read = std::clamp<JDIMENSION>(static_cast<JDIMENSION>(cinfo.max_v_samp_factor), 1, kMaxRowsPerRead);
  while (cinfo.output_scanline < height) {
    const JDIMENSION first = cinfo.output_scanline;
    const JDIMENSION count = std::min(per_read, height - first);
    JSAMPROW rows[kMaxRowsPerRead];
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = reinterpret_cast<JSAMPROW>(pixels + size_t{first + i} * width);
    if (jpeg_read_scanlines(&cinfo, rows, count) == 0) Refuse(&cinfo, "no scanline delivered");
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

bool DecodeJpeg(std::span<const uint8_t> jpeg, ImageBitmap& picture, std::string* failure) {
  char message[JMSG_LENGTH_MAX] = {};
  if (DecodeInto(jpeg.data(), jpeg.size(), picture, message)) return true;
  picture.width = 0;  // its storage stays for the next picture
  picture.height = 0;
  if (failure) *failure = message;
  return false;
}

}  // namespace vantorel
