#include "audio_tx/transmit_worker.h"

#include "audio_tx/transmit_body.h"
#include "net/http_post.h"
#include "runtime/log.h"

namespace vantorel {

namespace {

// The body's pieces go into the POST request; the outcome is noted for the report.
class RequestSink : public TransmitSink {
 public:
  RequestSink(HttpPost& post, TransmitReport& report, WorkerContext& context)
      : post_(post), report_(report), context_(context) {}

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
    ++report_.writes;
    if (!ok) {
      ++report_.failed_writes;
      Fail();
    }
    return ok;
  }

  void End() override {
    post_.End(kTransmitAnswerWait);
    report_.answer = post_.ResponseCode();
    // The camera's answer names the reason better than the writes it made fail (a refused
    // sign-in closes the connection, and the writes may notice first).
    if (report_.answer >= 300 && report_.failure.http_status == 0) {
      if (report_.error.empty()) report_.error = "the camera answered " + std::to_string(report_.answer);
      report_.failure = {ReasonForStatus(report_.answer, Endpoint::kTalk), report_.answer, report_.error};
      context_.ReportFailure(report_.failure);
    }
  }

 private:
  // Only the first failure is logged: a camera that is gone fails every later write too.
  void Fail() {
    if (!report_.error.empty()) return;
    report_.error = post_.ResponseCode() != 0 ? "the camera answered " + std::to_string(post_.ResponseCode())
                                              : post_.Error();
    LogFailure("transmit: %s", report_.error.c_str());
    Failure failure = post_.Outcome();
    if (!failure.failed()) failure = {report_.sent ? FailureReason::kConnectionLost : FailureReason::kCannotConnect, 0, {}};
    failure.detail = report_.error;
    report_.failure = failure;
    context_.ReportFailure(failure);
  }

  HttpPost& post_;
  TransmitReport& report_;
  WorkerContext& context_;
};

}  // namespace

TransmitReport RunTransmit(WorkerContext& context, CaptureRing& ring, const std::string& url,
                           TransmitBodyOptions options) {
  TransmitReport report;
  context.Report(WorkerState::kConnecting);
  HttpPost post(context.cancel());
  report.opened = post.Open(url, kTransmitUserAgent, kTransmitAnnouncedLength);
  if (report.opened) {
    RequestSink sink(post, report, context);
    SendTransmitBody(ring, sink, options);
  } else {
    report.error = post.Error();
    LogFailure("transmit: %s", report.error.c_str());
    report.failure = {FailureReason::kCannotConnect, 0, report.error};
    context.ReportFailure(report.failure);
  }
  return report;
}

}  // namespace vantorel
