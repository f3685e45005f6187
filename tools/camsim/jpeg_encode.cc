#include "camsim/jpeg_encode.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace vantorel::camsim {

std::string EncodeJpeg(const uint8_t* pixels, int width, int height, JpegKind kind,
                       const JpegEncodeOptions& options) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);  // our own pixels: only running out of memory can fail
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  jpeg_mem_dest(&cinfo, &out, &out_size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  int components = 3;
  switch (kind) {
    case JpegKind::kColour:
      cinfo.input_components = components = 3;
      cinfo.in_color_space = JCS_RGB;
      break;
    case JpegKind::kGrey:
      cinfo.input_components = components = 1;
      cinfo.in_color_space = JCS_GRAYSCALE;
      break;
    case JpegKind::kCmyk:
      cinfo.input_components = components = 4;
      cinfo.in_color_space = JCS_CMYK;
      break;
  }
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_in_rows = options.restart_rows;
  jpeg_start_compress(&cinfo, TRUE);
  const size_t stride = static_cast<size_t>(width) * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string jpeg(reinterpret_cast<const char*>(out), out_size);
  std::free(out);
  return jpeg;
}

}  // namespace vantorel::camsim
