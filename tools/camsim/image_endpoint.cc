// GET /axis-cgi/jpg/image.cgi: one JPEG still per request.

#include <cstdio>
#include <memory>

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

}  // namespace

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
