#include "camsim/scene.h"

#include <algorithm>
#include <cmath>

namespace vantorel::camsim {

namespace {

struct Rgb {
  uint8_t r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height) : w_(width), h_(height), pixels_(static_cast<size_t>(width) * height * 3) {}

  void Set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    uint8_t* p = &pixels_[(static_cast<size_t>(y) * w_ + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }
  void Rect(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) Set(x, y, c);
  }
  void Disc(int cx, int cy, int r, Rgb c) {
    for (int y = cy - r; y <= cy + r; ++y)
      for (int x = cx - r; x <= cx + r; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
  }
  void Line(double x0, double y0, double x1, double y1, int thick, Rgb c) {
    const int steps = static_cast<int>(std::max(std::abs(x1 - x0), std::abs(y1 - y0))) + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      Disc(static_cast<int>(x0 + (x1 - x0) * t), static_cast<int>(y0 + (y1 - y0) * t), thick, c);
    }
  }
  // A digit from a 3 x 5 dot font, each dot `scale` pixels square.
  void Digit(int x, int y, int digit, int scale, Rgb c) {
    static constexpr uint16_t kFont[10] = {0x7B6F, 0x2492, 0x73E7, 0x73CF, 0x5BC9,
                                           0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 3; ++col)
        if (kFont[digit] & (1 << (14 - row * 3 - col)))
          Rect(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale, c);
  }
  std::vector<uint8_t> Take() { return std::move(pixels_); }

 private:
  int w_, h_;
  std::vector<uint8_t> pixels_;
};

}  // namespace

std::vector<uint8_t> RenderScene(uint64_t frame, int width, int height) {
  Canvas c(width, height);
  // Everything is laid out on a 320 x 240 grid and scaled to the requested size.
  const double sx = width / 320.0, sy = height / 240.0;
  auto X = [&](double x) { return static_cast<int>(x * sx); };
  auto Y = [&](double y) { return static_cast<int>(y * sy); };
  for (int y = 0; y < height; ++y) {  // wall, lighter towards the top
    const auto shade = static_cast<uint8_t>(200 - 60 * y / std::max(1, height));
    c.Rect(0, y, width, y + 1, {shade, static_cast<uint8_t>(shade - 20), static_cast<uint8_t>(shade - 50)});
  }
  c.Rect(0, Y(210), width, height, {90, 90, 95});                 // floor
  c.Rect(X(40), Y(50), X(130), Y(210), {120, 70, 30});            // door
  c.Rect(X(50), Y(62), X(120), Y(120), {135, 82, 40});            // upper panel
  c.Rect(X(50), Y(135), X(120), Y(198), {135, 82, 40});           // lower panel
  c.Disc(X(118), Y(132), std::max(1, X(5)), {230, 200, 60});      // knob
  // A visitor walking to and fro in front of the wall.
  const double walk = 40 + 120 * (0.5 + 0.5 * std::sin(static_cast<double>(frame) / 20.0));
  c.Disc(X(walk + 120), Y(120), std::max(1, X(12)), {240, 190, 160});
  c.Rect(X(walk + 106), Y(134), X(walk + 134), Y(205), {40, 80, 160});
  // The clock: one turn of the hand every 60 frames.
  const int cx = X(250), cy = Y(60), r = std::max(2, X(32));
  c.Disc(cx, cy, r, {250, 250, 245});
  const double angle = 2 * M_PI * static_cast<double>(frame % 60) / 60.0;
  c.Line(cx, cy, cx + 0.8 * r * std::sin(angle), cy - 0.8 * r * std::cos(angle), std::max(1, X(2)), {200, 30, 30});
  // The frame counter, six digits.
  const int scale = std::max(1, X(4));
  uint64_t n = frame;
  for (int i = 5; i >= 0; --i, n /= 10) {
    c.Digit(X(180) + i * 4 * scale, Y(200), static_cast<int>(n % 10), scale, {255, 255, 255});
  }
  return c.Take();
}

}  // namespace vantorel::camsim
