#pragma once
// Where things are in the main window's client area (window coordinates, pixels). Painting,
// repainting and hit testing all use these names.

namespace vantorel {

// A rectangle with inclusive edges: a point is inside when left <= x <= right and
// top <= y <= bottom.
struct ZoneRect {
  int left, top, right, bottom;
  constexpr bool Contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
  constexpr int Width() const { return right - left + 1; }
  constexpr int Height() const { return bottom - top + 1; }
};

inline constexpr int kClientWidth = 480;
// 640 pixels of a VGA handheld less its 52-pixel navigation bar and the 26 of the menu
// bar: tall enough that the centred caption clears the button row.
inline constexpr int kClientHeight = 562;
inline constexpr int kMenuBarHeight = 26;

// The talk zone: a tap inside starts or ends a talk. It is drawn and repainted as the
// rectangle (94, 464)-(231, 525) with exclusive right and bottom edges.
inline constexpr ZoneRect kTalkZoneTap{95, 465, 230, 524};
inline constexpr ZoneRect kTalkZoneFrame{94, 464, 230, 524};

// A tap here ends a talk. It lies right of a 480-pixel window, so only a window stretched
// wider (a landscape screen) can be tapped there.
inline constexpr ZoneRect kEndTalkZoneTap{648, 17, 729, 65};

// A tap here shows the About box.
inline constexpr ZoneRect kAboutZoneTap{0, 0, 9, 9};

// The picture is drawn at its own size, 40 pixels left of the client area, so that a
// 320-pixel still shows its middle on a narrow screen.
inline constexpr int kPictureX = -40;
inline constexpr int kPictureY = 0;

// Indicators left of the buttons.
inline constexpr int kCameraIndicatorX = 22;
inline constexpr int kListenIndicatorX = 97;
inline constexpr int kIndicatorY = 247;
inline constexpr int kIndicatorSize = 14;

}  // namespace vantorel
