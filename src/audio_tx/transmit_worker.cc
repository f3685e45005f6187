#include "audio_tx/transmit_worker.h"

#include <memory>

#include "audio_tx/transmit_body.h"
#include "net/http_post.h"
#include "runtime/log.h"

namespace vantorel {

namespace {

// The body's pieces go into the POST requests of one talk (one, unless a web server wants
// shorter bodies); the outcome is noted for the report.
class RequestSink : public TransmitSink {
 public:
  RequestSink(WorkerContext& context, const std::string& url, const TransmitBodyOptions& options,
              TransmitReport& report, const TalkFailed& failed)
      : context_(context), url_(url), options_(options), report_(report), failed_(failed) {}

  bool Open(int64_t length) {
    post_ = std::make_unique<HttpPost>(context_.cancel());
    post_->RememberSignIns(options_.sign_ins);
    if (post_->Open(url_, kTransmitUserAgent, length, {}, TalkContentType(options_.format))) return true;
    Fail();
    return false;
  }

  bool Send() override {
    report_.sent = post_->Send();
    if (!report_.sent && post_->ResponseCode() == 413) {
      // A web server that caps request bodies (1 GiB is common): the talk goes in shorter
      // requests, one after the other.
      LogFailure("transmit: the camera refuses the announced length; shorter requests instead");
      length_ = kTransmitSmallAnnouncedLength;
      report_.sent = Open(length_) && post_->Send();
    }
    if (report_.sent) {
      context_.Report(WorkerState::kRunning);
    } else {
      Fail();
    }
    return report_.sent;
  }

  bool Write(const uint8_t* data, size_t size) override {
    const bool ok = post_->Write(data, size);
    if (!ok) Fail();
    return ok;
  }

  void PartTaken() override { ++report_.parts; }

  int64_t Room() const override { return post_->Room(); }

  bool Renew() override {
    post_->End(kTransmitAnswerWait);
    if (const Failure answer = post_->Outcome(); answer.reason == FailureReason::kErrorStatus) {
      Note(answer);
      return false;
    }
    if (!Open(length_)) return false;
    if (post_->Send()) return true;
    Fail();
    return false;
  }

  void End() override {
    post_->End(kTransmitAnswerWait);
    report_.answer = post_->ResponseCode();
    // The camera's answer names the reason better than the writes it made fail (a refused
    // sign-in closes the connection, and the writes may notice first).
    const Failure answer = post_->Outcome();
    if (answer.reason == FailureReason::kErrorStatus && report_.failure.http_status == 0) {
      report_.failure = {};
      Note(answer);
    } else if (answer.reason == FailureReason::kTooMuchData) {
      // An answer over its bounds in the final wait (a 401 with endless headers) is no
      // success; a camera that answers only when the connection closes is.
      Note(answer);
    }
  }

 private:
  // Only the first failure is kept: a camera that is gone fails every later write too.
  void Fail() {
    if (report_.failure.failed()) return;
    Failure failure = post_->Outcome();
    if (!failure.failed()) {
      // The request is answered (a success) or still under way, yet the piece was refused:
      // the camera ended the talk by answering it.
      failure = {FailureReason::kConnectionLost, post_->ResponseCode(),
                 post_->ResponseCode() != 0 ? "the camera answered the talk while it went on" : post_->Error()};
    }
    Note(failure);
  }

  void Note(const Failure& failure) {
    if (report_.failure.failed()) return;
    LogFailure("transmit: %s (HTTP %ld) %s", FailureName(failure.reason), failure.http_status, failure.detail.c_str());
    report_.failure = failure;
    if (failed_) failed_(report_.failure);
  }

  WorkerContext& context_;
  const std::string& url_;
  const TransmitBodyOptions& options_;
  TransmitReport& report_;
  const TalkFailed& failed_;
  int64_t length_ = kTransmitAnnouncedLength;
  std::unique_ptr<HttpPost> post_;
};

}  // namespace

TransmitReport RunTransmit(WorkerContext& context, CaptureRing& ring, const std::string& url,
                           TransmitBodyOptions options, const TalkFailed& failed) {
  TransmitReport report;
  context.Report(WorkerState::kConnecting);
  RequestSink sink(context, url, options, report, failed);
  if (sink.Open(kTransmitAnnouncedLength)) SendTransmitBody(ring, sink, options);
  return report;
}

}  // namespace vantorel
