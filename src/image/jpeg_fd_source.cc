#include "image/jpeg_fd_source.h"

#include <unistd.h>

#include <cerrno>

#include <jerror.h>

namespace vantorel {

namespace {

constexpr size_t kSourceBufferSize = 4096;

struct FdSource {
  jpeg_source_mgr pub;  // first: libjpeg sees only this part
  int fd;
  JOCTET* buffer;
  bool start_of_file;  // nothing read yet
};

FdSource* SourceOf(j_decompress_ptr cinfo) { return reinterpret_cast<FdSource*>(cinfo->src); }

void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo)->start_of_file = true; }

// Never suspends: it always hands libjpeg at least one byte or leaves by error_exit.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  FdSource* src = SourceOf(cinfo);
  ssize_t n;
  do {
    n = read(src->fd, src->buffer, kSourceBufferSize);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {  // a failed read counts as the end of the file
    if (src->start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = static_cast<size_t>(n);
  src->start_of_file = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long num_bytes) {
  if (num_bytes <= 0) return;
  FdSource* src = SourceOf(cinfo);
  auto remaining = static_cast<size_t>(num_bytes);
  while (remaining > src->pub.bytes_in_buffer) {
    remaining -= src->pub.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  src->pub.next_input_byte += remaining;
  src->pub.bytes_in_buffer -= remaining;
}

void TermSource(j_decompress_ptr) {}

}  // namespace

void AttachJpegFdSource(j_decompress_ptr cinfo, int fd) {
  auto* src = static_cast<FdSource*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(FdSource)));
  src->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBufferSize));
  src->fd = fd;
  src->start_of_file = true;
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInputBuffer;
  src->pub.skip_input_data = SkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
  cinfo->src = &src->pub;
}

}  // namespace vantorel
