#include "audio_tx/transmit_worker.h"

#include "audio_tx/transmit_body.h"
#include "net/http_post.h"
#include "runtime/log.h"

namespace vantorel {

namespace {

// The body's pieces go into the POST request; the outcome is noted for the report.
class RequestSink : public TransmitSink {
 public:
  RequestSink(HttpPost& post, TransmitReport& report, WorkerContext& context, const TalkFailed& failed)
      : post_(post), report_(report), context_(context), failed_(failed) {}

  bool Send() override {
    report_.sent = post_.Send();
    if (report_.sent) {
      context_.Report(WorkerState::kRunning);
    } else {
      Fail();
    }
    return report_.sent;
  }

  bool Write(const uint8_t* data, size_t size) override {
    const bool ok = post_.Write(data, size);
    if (!ok) {
      Fail();
    } else if (size == kTransmitPartBytes) {
      ++report_.parts;
    }
    return ok;
  }

  void End() override {
    post_.End(kTransmitAnswerWait);
    report_.answer = post_.ResponseCode();
    // The camera's answer names the reason better than the writes it made fail (a refused
    // sign-in closes the connection, and the writes may notice first).
    const Failure answer = post_.Outcome();
    if (answer.reason == FailureReason::kErrorStatus && report_.failure.http_status == 0) {
      report_.failure = answer;
      LogFailure("transmit: the camera answered %ld", report_.answer);
      if (failed_) failed_(report_.failure);
    }
  }

 private:
  // Only the first failure is kept: a camera that is gone fails every later write too.
  void Fail() {
    if (report_.failure.failed()) return;
    Failure failure = post_.Outcome();
    if (!failure.failed()) {
      // The request is answered (a success) or still under way, yet the piece was refused:
      // the camera ended the talk by answering it.
      failure = {FailureReason::kConnectionLost, post_.ResponseCode(),
                 post_.ResponseCode() != 0 ? "the camera answered the talk while it went on" : post_.Error()};
    }
    LogFailure("transmit: %s (HTTP %ld) %s", FailureName(failure.reason), failure.http_status, failure.detail.c_str());
    report_.failure = failure;
    if (failed_) failed_(report_.failure);
  }

  HttpPost& post_;
  TransmitReport& report_;
  WorkerContext& context_;
  const TalkFailed& failed_;
};

}  // namespace

TransmitReport RunTransmit(WorkerContext& context, CaptureRing& ring, const std::string& url,
                           TransmitBodyOptions options, const TalkFailed& failed) {
  TransmitReport report;
  context.Report(WorkerState::kConnecting);
  HttpPost post(context.cancel());
  if (post.Open(url, kTransmitUserAgent, kTransmitAnnouncedLength)) {
    RequestSink sink(post, report, context, failed);
    SendTransmitBody(ring, sink, options);
  } else {
    report.failure = post.Outcome();
    LogFailure("transmit: %s", report.failure.detail.c_str());
    if (failed) failed(report.failure);
  }
  return report;
}

}  // namespace vantorel
