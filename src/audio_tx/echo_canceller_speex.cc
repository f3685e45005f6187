// The echo canceller on SpeexDSP (a build option, VANTOREL_ECHO=speex): its adaptive filter
// (speex_echo, the MDF algorithm) takes out the echo it can model, and its preprocessor
// suppresses what is left. The preprocessor's gains apply only with its denoiser on, so the
// denoiser runs with a noise suppression of 0 dB: the residual echo is suppressed, the
// microphone's own noise is not. The far end waits in a delay line of our own for the set
// delay. The tail, 128 ms, is a third of a small room's reverberation, as Speex advises
// (256 ms converged slower and took out less in our rooms).

#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <vector>

#include "audio_tx/echo_canceller.h"

namespace vantorel {

namespace {

constexpr int kTailMs = 128;

}  // namespace

struct EchoCanceller::State {
  SpeexEchoState* echo = nullptr;
  SpeexPreprocessState* preprocess = nullptr;
  std::vector<int16_t> line;  // the far end's last `delay` samples, a ring
  size_t next = 0;            // the oldest sample, where the next one goes
  std::vector<int16_t> delayed = std::vector<int16_t>(kEchoFrameSamples);
  std::vector<int16_t> near = std::vector<int16_t>(kEchoFrameSamples);  // `out` may be the caller's near

  ~State() {
    if (preprocess) speex_preprocess_state_destroy(preprocess);
    if (echo) speex_echo_state_destroy(echo);
  }
};

EchoCanceller::EchoCanceller(const EchoSettings& settings) : state_(std::make_unique<State>()) {
  State& s = *state_;
  const int frame = static_cast<int>(kEchoFrameSamples);
  s.echo = speex_echo_state_init(frame, kTailMs * kEchoRate / 1000);
  int rate = kEchoRate;
  speex_echo_ctl(s.echo, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
  s.preprocess = speex_preprocess_state_init(frame, kEchoRate);
  speex_preprocess_ctl(s.preprocess, SPEEX_PREPROCESS_SET_ECHO_STATE, s.echo);
  int on = 1;
  int no_noise_suppression_db = 0;
  speex_preprocess_ctl(s.preprocess, SPEEX_PREPROCESS_SET_DENOISE, &on);
  speex_preprocess_ctl(s.preprocess, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &no_noise_suppression_db);
  const int delay = std::clamp(settings.delay_ms, 0, 500) * kEchoRate / 1000;
  s.line.assign(static_cast<size_t>(delay), 0);
}

EchoCanceller::~EchoCanceller() = default;

void EchoCanceller::Process(EchoFrame far, EchoFrame near, std::span<int16_t, kEchoFrameSamples> out) {
  State& s = *state_;
  // Each far sample comes out of the line `delay` samples after it went in.
  for (size_t i = 0; i < kEchoFrameSamples; ++i) {
    if (s.line.empty()) {
      s.delayed[i] = far[i];
      continue;
    }
    s.delayed[i] = s.line[s.next];
    s.line[s.next] = far[i];
    if (++s.next == s.line.size()) s.next = 0;
  }
  std::copy(near.begin(), near.end(), s.near.begin());
  speex_echo_cancellation(s.echo, s.near.data(), s.delayed.data(), out.data());
  speex_preprocess_run(s.preprocess, out.data());
}

const char* EchoCanceller::Engine() { return "speexdsp"; }

int EchoCanceller::tail_ms() { return kTailMs; }

}  // namespace vantorel
