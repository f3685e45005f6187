#include "image/jpeg_decode.h"

#include <csetjmp>
#include <cstdarg>
#include <cstdio>

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

// Everything between setjmp and a longjmp is plain C data, so the jump skips no destructor.
// `bitmap` is volatile because it changes after setjmp and is read after the jump.
ImageBitmap* DecodeInto(const uint8_t* data, size_t length, uint32_t& size, char (&message)[JMSG_LENGTH_MAX]) {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  jpeg_progress_mgr progress{};
  ImageBitmap* volatile bitmap = nullptr;

  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ErrorExit;
  errors.pub.output_message = OutputMessage;
  errors.message[0] = '\0';
  if (setjmp(errors.escape)) {
    jpeg_destroy_decompress(&cinfo);  // again: harmless once destroyed
    std::free(bitmap);
    size = 0;
    std::snprintf(message, sizeof message, "%s", errors.message);
    return nullptr;
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
      cinfo.out_color_space = JCS_EXT_BGR;
      break;
    default:
      Refuse(&cinfo, "colour space %d is neither grey nor colour", static_cast<int>(cinfo.jpeg_color_space));
  }
  jpeg_calc_output_dimensions(&cinfo);
  if (cinfo.output_components != 3) Refuse(&cinfo, "%d output components", cinfo.output_components);
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
  size = static_cast<uint32_t>(needed);
  bitmap = AllocateImageBitmap(width, height);
  if (!bitmap) Refuse(&cinfo, "out of memory for %u bytes", size);

  // The first (top) scanline goes into the last row of the block.
  uint8_t* const pixels = bitmap->Pixels();
  const uint64_t stride = ImageRowStride(width);
  while (cinfo.output_scanline < height) {
    JSAMPROW row = pixels + (height - 1 - cinfo.output_scanline) * stride;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) Refuse(&cinfo, "no scanline delivered");
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return bitmap;
}

}  // namespace

ImageBitmapPtr DecodeJpeg(std::span<const uint8_t> jpeg, uint32_t& size, std::string* failure) {
  char message[JMSG_LENGTH_MAX] = {};
  ImageBitmapPtr bitmap(DecodeInto(jpeg.data(), jpeg.size(), size, message));
  if (!bitmap) {
    size = 0;
    if (failure) *failure = message;
  }
  return bitmap;
}

}  // namespace vantorel
