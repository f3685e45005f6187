// Stills per second the picture worker's way (one kept connection and sign-in for all its
// stills, each decoded from memory) against the plain loop (a fresh libcurl handle and
// connection per still, through a file), alternated still by still against the same
// loopback camera: without a password, and with HTTP Digest (where the plain loop is
// challenged on every still and the kept connection only once).
//
// With Digest each side has a camera of its own, alike and in this process: the simulator
// remembers its newest 256 nonces, so the plain loop's challenges would push the kept
// connection's nonce out after 256 stills and its next still would be refused.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <string>
#include <vector>

#include "fixed_camera.h"
#include "image/image_fetch.h"
#include "image/still_buffer.h"
#include "runtime/cancel_token.h"
#include "net/http_session.h"
#include "plain_still.h"

namespace {

using vantorel::bench::FixedCamera;

constexpr const char* kAccount = "ann:door";

FixedCamera& OpenCamera() {
  static FixedCamera camera;
  return camera;
}

FixedCamera& DigestCamera() {
  static FixedCamera camera(vantorel::camsim::SignInOptions{.account = kAccount});
  return camera;
}

FixedCamera& DigestCameraForPlainLoop() {
  static FixedCamera camera(vantorel::camsim::SignInOptions{.account = kAccount});
  return camera;
}

// `url` with the account in its user part, as the program's settings carry it.
std::string WithAccount(const std::string& url, const char* account) {
  if (!account) return url;
  return "http://" + std::string(account) + "@" + url.substr(7);
}

void KeptOverPlain(benchmark::State& state, FixedCamera& camera, FixedCamera& plain_camera, const char* account) {
  const std::string plain_url = plain_camera.url;
  const std::string kept_url = WithAccount(camera.url, account);
  const std::string path = plain_camera.home + "/plain.jpg";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::vector<unsigned char> pixels;
  // What the picture worker holds for its stills (PictureRefresher, image_worker.h).
  vantorel::HttpSession session;
  vantorel::StillBuffer buffer(vantorel::kMaxStillBytes);
  const vantorel::FetchControl fetch{.cancel = vantorel::CancelToken::Create(), .session = &session, .buffer = &buffer, .on_frame = {}};
  vantorel::ImageBitmap picture;
  const int kept_challenges_before = camera.server->stats().challenges;
  const int challenges_before = plain_camera.server->stats().challenges;
  std::chrono::duration<double> kept{0}, plain{0};
  bool kept_first = true;  // alternate, so that neither always follows the other
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const auto start = std::chrono::steady_clock::now();
      bool ok;
      if ((turn == 0) == kept_first) {
        ok = !vantorel::FetchHttpJpeg(kept_url, picture, fetch).failed();
        kept += std::chrono::steady_clock::now() - start;
      } else {
        ok = vantorel::bench::PlainStill(plain_url, path, pixels, account);
        plain += std::chrono::steady_clock::now() - start;
      }
      if (!ok) state.SkipWithError("no picture");
    }
    kept_first = !kept_first;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["kept/s"] = n / kept.count();
  state.counters["plain/s"] = n / plain.count();
  state.counters["ratio"] = plain.count() / kept.count();
  // The kept side's connections and challenges over the whole run (1 each with Digest),
  // and the plain loop's challenges per still (1 with Digest).
  state.counters["kept_conns"] = static_cast<double>(session.connections());
  state.counters["kept_challenges"] = camera.server->stats().challenges - kept_challenges_before;
  state.counters["plain_challenges/still"] = (plain_camera.server->stats().challenges - challenges_before) / n;
}

void BM_StillsKeptOverPlainLoop(benchmark::State& state) { KeptOverPlain(state, OpenCamera(), OpenCamera(), nullptr); }
void BM_StillsKeptOverPlainLoopDigest(benchmark::State& state) {
  KeptOverPlain(state, DigestCamera(), DigestCameraForPlainLoop(), kAccount);
}

BENCHMARK(BM_StillsKeptOverPlainLoop)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(4.0);
BENCHMARK(BM_StillsKeptOverPlainLoopDigest)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(4.0);

}  // namespace
