#pragma once
// For the picture benchmarks: one fixed 320x240 still, like a camera's (the simulator's
// scene with sensor-like noise), served by the simulator on 127.0.0.1 from this process,
// asking for the sign-in of `sign_in` when it names an account.

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "camsim/jpeg_encode.h"
#include "camsim/scene.h"
#include "camsim/server.h"

namespace vantorel::bench {

inline std::string FixedStill() {
  std::vector<uint8_t> rgb = camsim::RenderScene(1234, 320, 240);
  unsigned noise = 1;
  for (uint8_t& v : rgb) {
    noise = noise * 1103515245u + 12345u;
    const int n = v + static_cast<int>((noise >> 16) % 17) - 8;
    v = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
  }
  return camsim::EncodeJpeg(rgb.data(), 320, 240, camsim::JpegKind::kColour);
}

struct FixedCamera {
  explicit FixedCamera(camsim::SignInOptions sign_in = {}) {
    char pattern[] = "/tmp/vantorel-bench-XXXXXX";
    home = mkdtemp(pattern);
    setenv("VANTOREL_HOME", home.c_str(), 1);
    still = FixedStill();
    camsim::Options options;
    options.stills = {still};
    options.sign_in = std::move(sign_in);
    server = std::make_unique<camsim::Server>(options);
    if (!server->Start()) std::abort();
    url = server->Url() + "/axis-cgi/jpg/image.cgi?resolution=320x240";
  }
  ~FixedCamera() {
    server->Stop();
    std::string command = "rm -rf " + home;
    [[maybe_unused]] int ignored = std::system(command.c_str());
  }
  std::string home, still, url;
  std::unique_ptr<camsim::Server> server;
};

}  // namespace vantorel::bench
