#pragma once
// The picture worker's work, one still at a time: fetch the still, make it the current
// image, ask the window to repaint. It never draws itself. The station repeats it, with its
// pauses after failures (station/retry_loop.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "image/current_image.h"
#include "image/image_fetch.h"
#include "image/still_buffer.h"
#include "net/http_session.h"

namespace vantorel {

// One refresh: FetchHttpJpeg(`url`) into `next`. A new picture becomes the current image
// (kNone) and `next` gets the previous one, whose storage the following refresh decodes
// into; otherwise the current image stays and the failure is returned.
Failure RefreshImage(CurrentImage& image, ImageBitmap& next, const std::string& url, const FetchControl& control = {});

// The stills of one picture worker's run: one kept connection and sign-in, one body buffer,
// and the picture before last for the next decode (no allocation per still). A URL that
// answers with a picture stream is read in one Refresh, each frame made the current image.
class PictureRefresher {
 public:
  PictureRefresher(CurrentImage& image, std::shared_ptr<CancelToken> cancel);

  // Called after each frame of a stream has become the current image; false ends the
  // stream (its Refresh returns kNone). Unset: the stream goes on.
  void OnStreamFrame(std::function<bool()> shown) { on_stream_frame_ = std::move(shown); }
  // Refreshes once from `url`: one still, or a stream until it ends.
  Failure Refresh(const std::string& url);
  // Cameras that have taken Digest get no Basic sign-in from these stills.
  void RememberSignIns(SignInMemory* memory) { control_.sign_ins = memory; }
  // Connections made so far (tests and benchmarks).
  long connections() const { return session_.connections(); }
  // Pictures made the current image so far: stills and stream frames.
  uint64_t pictures() const { return pictures_; }

 private:
  CurrentImage& image_;
  HttpSession session_;
  StillBuffer buffer_{kMaxStillBytes};
  ImageBitmap next_;
  FetchControl control_;
  std::function<bool()> on_stream_frame_;
  uint64_t pictures_ = 0;
};

}  // namespace vantorel
