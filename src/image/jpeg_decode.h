#pragma once
// JPEG data to ImageBitmap with libjpeg-turbo (API 62).

#include <cstdint>
#include <span>
#include <string>

#include "image/image_bitmap.h"

namespace vantorel {

// Decodes JPEG data held in memory into `picture`, straight into its final form (top-down
// 0xffRRGGBB rows), reusing its pixel storage: a picture no larger than one decoded into it
// before costs no allocation. True on success; on failure `picture` is empty (its storage
// kept) and, when given, `*failure` holds libjpeg's last message or our refusal. Data that
// ends early decodes with a warning, the missing rows filled in.
//
// Grey stills are expanded to three equal components; CMYK and YCCK stills, and anything
// else that is not grey or colour, are refused. So is any still whose pixels would exceed
// kMaxBitmapBytes (decided from the header, before anything large is allocated), and any
// progressive still with more than kMaxJpegScans scans. Damaged data decodes with warnings
// into whatever libjpeg reconstructs. libjpeg's messages go to LogFailure.
bool DecodeJpeg(std::span<const uint8_t> jpeg, ImageBitmap& picture, std::string* failure = nullptr);

// Progressive stills may carry scans without end, each a pass over the whole picture.
inline constexpr int kMaxJpegScans = 256;
// libjpeg's own working memory (the coefficient buffer of a progressive still).
inline constexpr long kMaxJpegWorkMemory = 128L * 1024 * 1024;

}  // namespace vantorel
