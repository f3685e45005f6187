// The echo canceller on WebRTC's audio processing module (webrtc-audio-processing 0.3, the
// one PulseAudio and PipeWire use): its full echo canceller, told the delay with every
// frame, and nothing else of the module (no noise suppression, gain control or high-pass
// filter: the microphone's own sound is left as it is). At 8000 Hz the "extended" filter of
// 32 blocks of 64 samples reaches 256 ms behind the delay (the normal one, 96 ms, missed
// echoes 75 ms late in our room); the delay-agnostic mode follows a delay set too long.

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include <algorithm>

#include "audio_tx/echo_canceller.h"

namespace vantorel {

namespace {

void SetFrame(webrtc::AudioFrame& frame, EchoFrame samples) {
  frame.sample_rate_hz_ = kEchoRate;
  frame.num_channels_ = 1;
  frame.samples_per_channel_ = kEchoFrameSamples;
  std::copy(samples.begin(), samples.end(), frame.data_);
}

}  // namespace

struct EchoCanceller::State {
  std::unique_ptr<webrtc::AudioProcessing> module;
  webrtc::AudioFrame far;
  webrtc::AudioFrame near;
  int delay_ms = 0;
};

EchoCanceller::EchoCanceller(const EchoSettings& settings) : state_(std::make_unique<State>()) {
  webrtc::Config config;
  config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
  config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(true));
  state_->module.reset(webrtc::AudioProcessing::Create(config));
  if (!state_->module) return;  // the microphone then goes through as it is
  webrtc::AudioProcessing& module = *state_->module;
  module.Initialize(kEchoRate, kEchoRate, kEchoRate, webrtc::AudioProcessing::kMono,
                    webrtc::AudioProcessing::kMono, webrtc::AudioProcessing::kMono);
  webrtc::EchoCancellation& echo = *module.echo_cancellation();
  echo.enable_drift_compensation(false);
  echo.set_suppression_level(webrtc::EchoCancellation::kModerateSuppression);
  echo.Enable(true);
  state_->delay_ms = std::clamp(settings.delay_ms, 0, 500);
}

EchoCanceller::~EchoCanceller() = default;

void EchoCanceller::Process(EchoFrame far, EchoFrame near, std::span<int16_t, kEchoFrameSamples> out) {
  State& s = *state_;
  if (!s.module) {
    std::copy(near.begin(), near.end(), out.begin());
    return;
  }
  SetFrame(s.far, far);
  s.module->ProcessReverseStream(&s.far);
  SetFrame(s.near, near);
  s.module->set_stream_delay_ms(s.delay_ms);
  s.module->ProcessStream(&s.near);
  std::copy_n(s.near.data_, kEchoFrameSamples, out.begin());
}

const char* EchoCanceller::Engine() { return "webrtc-audio-processing 0.3"; }

int EchoCanceller::tail_ms() { return 256; }

}  // namespace vantorel
