// The dialog's pictures, drawn in code so the program needs no image files of its own
// besides the skins.
#include <algorithm>
#include <cmath>
#include <functional>

#include "options/frmOptions.h"

namespace lumatap {

namespace {
constexpr plat::Pixel kDialogFace = 0xF0F0F0;  // what the button face shows on Windows

plat::Pixel mix(plat::Pixel a, plat::Pixel b, double t) {
  auto ch = [&](int shift) {
    double x = ((a >> shift) & 0xFF) * (1 - t) + ((b >> shift) & 0xFF) * t;
    return static_cast<plat::Pixel>(std::lround(x)) << shift;
  };
  return ch(16) | ch(8) | ch(0);
}

// Paints `color` where `inside` holds, with 4 × 4 samples per pixel for smooth edges.
void paint(plat::Surface& s, plat::Pixel color, const std::function<bool(double, double)>& inside) {
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
      }
      if (hits) s.at(x, y) = mix(s.at(x, y), color, hits / 16.0);
    }
  }
}

bool inRect(double x, double y, double l, double t, double r, double b) {
  return x >= l && x < r && y >= t && y < b;
}

// Distance from (x, y) to the segment (ax, ay)-(bx, by).
double toSegment(double x, double y, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(x - ax - t * dx, y - ay - t * dy);
}
}  // namespace

plat::Surface makeKeyPadBackground() {
  // Light blue, a shade darker towards the bottom, with a faint diagonal weave so the
  // pad reads as a surface the buttons lie on.
  plat::Surface s(330, 330);
  for (int y = 0; y < 330; ++y) {
    plat::Pixel row = mix(0xE6F3FF, 0xB9DCF7, y / 329.0);
    for (int x = 0; x < 330; ++x) {
      s.at(x, y) = ((x + y) % 12 == 0 || (x - y + 330) % 12 == 0) ? mix(row, 0xFFFFFF, 0.35) : row;
    }
  }
  return s;
}

plat::Surface makeSaveIcon() {
  // A floppy disk: dark blue body with a cut corner, a metal shutter and a white label.
  plat::Surface s(32, 32, kDialogFace);
  s.fill(kDialogFace);
  paint(s, 0x23468C, [](double x, double y) {
    return inRect(x, y, 3, 3, 29, 29) && (x - 3) + (29 - y) < 52 && !(x > 25 && y < 7 && x - 25 > y - 3);
  });
  paint(s, 0xC8CED6, [](double x, double y) { return inRect(x, y, 9, 3, 23, 12); });
  paint(s, 0x23468C, [](double x, double y) { return inRect(x, y, 18, 5, 21, 10); });
  paint(s, 0xFFFFFF, [](double x, double y) { return inRect(x, y, 7, 16, 25, 28); });
  paint(s, 0x9BB0D0, [](double x, double y) {
    return inRect(x, y, 9, 19, 23, 20) || inRect(x, y, 9, 22, 23, 23) || inRect(x, y, 9, 25, 19, 26);
  });
  return s;
}

plat::Surface makeCloseMark() {
  // Seen only while editing, on the editor's light orange: a red disc with a white cross.
  plat::Surface s(16, 16, plat::pixelFromColor(kEditorEditing));
  s.fill(plat::pixelFromColor(kEditorEditing));
  paint(s, 0xD83A2E, [](double x, double y) { return std::hypot(x - 8, y - 8) <= 7.5; });
  paint(s, 0xFFFFFF, [](double x, double y) {
    return toSegment(x, y, 4.8, 4.8, 11.2, 11.2) <= 1.1 || toSegment(x, y, 11.2, 4.8, 4.8, 11.2) <= 1.1;
  });
  return s;
}

plat::Surface makeLinkIcon() {
  // A small globe: the links lead to web pages.
  plat::Surface s(18, 18, kDialogFace);
  s.fill(kDialogFace);
  paint(s, 0x2A7BD4, [](double x, double y) { return std::hypot(x - 9, y - 9) <= 8.2; });
  paint(s, 0xFFFFFF, [](double x, double y) {
    double r = std::hypot(x - 9, y - 9);
    if (r > 7.4) return false;
    double meridian = std::hypot((x - 9) / 3.6, (y - 9) / 7.4);
    return std::abs(meridian - 1) < 0.13 || std::abs(y - 9) < 0.6;
  });
  return s;
}

}  // namespace lumatap
