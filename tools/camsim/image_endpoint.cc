// GET /axis-cgi/jpg/image.cgi: one JPEG still per request.
// GET /axis-cgi/mjpg/video.cgi: the same pictures as one endless multipart answer.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "camsim/endpoints.h"
#include "camsim/jpeg_encode.h"
#include "camsim/scene.h"

namespace vantorel::camsim {

namespace {

constexpr int kMaxSide = 2048;

// "WxH" within 1..kMaxSide, else 320 x 240.
void ParseResolution(const std::string& text, int& width, int& height) {
  width = 320;
  height = 240;
  int w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w >= 1 && h >= 1 && w <= kMaxSide &&
      h <= kMaxSide) {
    width = w;
    height = h;
  }
}

// Rewrites the frame header's height and width (after the SOF marker) in place.
void ClaimSize(std::string& jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    const auto marker = static_cast<uint8_t>(jpeg[i + 1]);
    if (static_cast<uint8_t>(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
      jpeg[i + 5] = static_cast<char>(height >> 8);
      jpeg[i + 6] = static_cast<char>(height & 0xFF);
      jpeg[i + 7] = static_cast<char>(width >> 8);
      jpeg[i + 8] = static_cast<char>(width & 0xFF);
      return;
    }
  }
}

// The next picture: the next --still file, or the scene at `width` x `height`.
std::string NextPicture(Context& context, int width, int height) {
  if (!context.options().stills.empty()) return context.NextStill();
  const auto pixels = RenderScene(context.NextFrame(), width, height);
  return EncodeJpeg(pixels.data(), width, height, JpegKind::kColour);
}

// One picture stream's connection: its parts at the asked pace, shaped by the run's
// MjpegFault.
class PictureStream {
 public:
  static constexpr size_t kHugePartBytes = size_t{48} << 20;

  PictureStream(Context& context, int width, int height, int fps)
      : context_(context), width_(width), height_(height), interval_(std::chrono::microseconds(1000000 / fps)) {}

  // Sends the next part (after its frame time); false ends the connection.
  bool Step(httplib::DataSink& sink) {
    const MjpegFault fault = context_.options().mjpeg_fault;
    if (index_ == 0) {
      next_ = std::chrono::steady_clock::now();
      if (fault == MjpegFault::kJunkFirst) {
        const std::string junk = "\r\nstream starting\r\n\x01\x02\xfe\xff no boundary here \xff\xd8\r\n\r\n";
        if (!sink.write(junk.data(), junk.size())) return false;
      }
    }
    if (fault == MjpegFault::kStop && index_ == 2) {
      context_.Pause(context_.options().silence_hold);
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (next_ > now && !context_.Pause(next_ - now)) return false;
    next_ = std::max(next_ + interval_, now);
    const bool huge = fault == MjpegFault::kHugePart && index_ % 4 == 1;
    ++index_;
    if (huge) return HugePart(sink);
    const std::string jpeg = NextPicture(context_, width_, height_);
    std::string head = "--myboundary\r\nContent-Type: image/jpeg\r\n";
    if (fault != MjpegFault::kNoLength) head += "Content-Length: " + std::to_string(jpeg.size()) + "\r\n";
    head += "\r\n";
    if (!sink.write(head.data(), head.size()) || !sink.write(jpeg.data(), jpeg.size()) || !sink.write("\r\n", 2)) {
      return false;
    }
    context_.UpdateStats([](Stats& s) { ++s.stream_frames; });
    return true;
  }

 private:
  // A part far over any still's bound, without a length: only the next boundary ends it.
  bool HugePart(httplib::DataSink& sink) {
    const std::string head = "--myboundary\r\nContent-Type: image/jpeg\r\n\r\n";
    if (!sink.write(head.data(), head.size())) return false;
    const std::string block(64 * 1024, 'U');
    for (size_t sent = 0; sent < kHugePartBytes; sent += block.size()) {
      if (context_.Stopping() || !sink.write(block.data(), block.size())) return false;
    }
    return sink.write("\r\n", 2);
  }

  Context& context_;
  const int width_, height_;
  const std::chrono::microseconds interval_;
  std::chrono::steady_clock::time_point next_;
  int index_ = 0;
};

}  // namespace

void RegisterStreamEndpoint(httplib::Server& http, Context& context) {
  http.Get("/axis-cgi/mjpg/video.cgi", [&context](const httplib::Request& req, httplib::Response& res) {
    // Counted until the stream ends, not only while this handler runs.
    auto scope = std::make_shared<Context::RequestScope>(context, req);
    if (!context.Authorized(req, res)) return;
    const Options& o = context.options();
    if (AnswerErrorFault(o.fault, res)) return;
    int width, height;
    ParseResolution(req.get_param_value("resolution"), width, height);
    int fps = 25;
    if (req.has_param("fps")) {
      const int asked = std::atoi(req.get_param_value("fps").c_str());
      if (asked >= 1 && asked <= 1000) fps = asked;
    }
    context.UpdateStats([](Stats& s) { ++s.picture_streams; });
    auto stream = std::make_shared<PictureStream>(context, width, height, fps);
    const std::string type = o.mjpeg_fault == MjpegFault::kDashedBoundary
                                 ? "multipart/x-mixed-replace; boundary=--myboundary"
                                 : "multipart/x-mixed-replace; boundary=myboundary";
    res.set_header("Connection", "close");  // the body has no length: its end is the connection's
    res.set_content_provider(type, [stream, scope](size_t, httplib::DataSink& sink) { return stream->Step(sink); });
  });
}

void RegisterImageEndpoint(httplib::Server& http, Context& context) {
  http.Get("/axis-cgi/jpg/image.cgi", [&context](const httplib::Request& req, httplib::Response& res) {
    Context::RequestScope scope(context, req);
    if (!context.Authorized(req, res)) return;
    if (context.RefuseThisStill()) {
      // A busy camera answers at once, outside the frame pacing.
      res.status = 503;
      res.set_content("503 Service Unavailable\n", "text/plain");
      return;
    }
    if (!context.WaitForFrameTime()) return;
    const Options& o = context.options();

    auto jpeg = std::make_shared<std::string>();
    if (!o.stills.empty()) {
      *jpeg = context.NextStill();
    } else {
      int width, height;
      ParseResolution(req.get_param_value("resolution"), width, height);
      const auto pixels = RenderScene(context.NextFrame(), width, height);
      *jpeg = EncodeJpeg(pixels.data(), width, height, JpegKind::kColour);
    }

    if (AnswerErrorFault(o.fault, res)) return;
    switch (o.fault) {
      case Fault::kEmpty:
        res.set_content("", "image/jpeg");
        return;
      case Fault::kTruncated:
        jpeg->resize(jpeg->size() / 2);
        break;
      case Fault::kHugeHeader:
        ClaimSize(*jpeg, 65000, 65000);
        break;
      case Fault::kStall:
        context.WaitUntilStopping();
        res.status = 503;
        return;
      case Fault::kCloseMidBody:
        res.set_content_provider(jpeg->size(), "image/jpeg",
                                 [jpeg](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset > 0) return false;  // closes the connection
                                   return sink.write(jpeg->data(), jpeg->size() / 2);
                                 });
        return;
      case Fault::kDrip:
        res.set_content_provider(jpeg->size(), "image/jpeg",
                                 [jpeg, &context](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset > 0 && !context.Pause(context.options().drip_gap)) return false;
                                   return sink.write(jpeg->data() + offset, 1);
                                 });
        return;
      case Fault::kSlow:
        if (!context.Pause(o.slow_delay)) return;
        break;
      default:  // none; the faults below HTTP never reach an endpoint
        break;
    }
    res.set_content(*jpeg, "image/jpeg");
    context.CountStill(req.remote_port);
  });
}

}  // namespace vantorel::camsim
