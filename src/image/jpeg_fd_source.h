#pragma once
// A libjpeg data source that reads an open file descriptor through a 4096-byte buffer, the
// way libjpeg's own stdio source reads a FILE: an empty file is a fatal error, a premature
// end gives a warning and a fake end-of-image marker so that the decode ends normally with
// what was read.

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

namespace vantorel {

// Attaches the source to `cinfo` (created, no source yet). The buffer comes from the
// decompressor's permanent pool; the descriptor is neither moved back nor closed.
void AttachJpegFdSource(j_decompress_ptr cinfo, int fd);

}  // namespace vantorel
