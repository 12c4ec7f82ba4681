// Settings file lumatap.ini: where the display window stood, its frame, the skin and the
// profile, read once at load and written once at the end.
#include <algorithm>
#include <cmath>
#include <string>

#include "app/settings.h"

#include "app/iniReadWrite.h"
#include "display/form1.h"
#include "state/profile_table.h"

namespace lumatap {
namespace {

std::string settingsPath() { return programPath("\\lumatap.ini"); }

std::string readValue(const char* section, const char* key) {
  return IniRead(section, key, "", settingsPath());
}

// Only an absurd screen gives less than one twip per pixel; one keeps the sums defined.
long perPixel(int16 twips) { return twips > 0 ? twips : 1; }

// The file holds 16-bit pixel positions. A larger number read is held to that range, so the
// window stays where Windows can place it and the value written at the end always fits.
double clamp16(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, -32768.0, 32767.0); }

long twipsFromFile(const std::string& text, int16 twipsPerPixel) {
  return roundHalfEven(clamp16(readNumber(text)) * static_cast<double>(perPixel(twipsPerPixel)));
}

int pixelsFromTwips(long twips, int16 twipsPerPixel) {
  return static_cast<int>(roundHalfEven(static_cast<double>(twips) / perPixel(twipsPerPixel)));
}

int16 pixelsForFile(long twips, int16 twipsPerPixel) {
  return static_cast<int16>(
      clamp16(std::floor(static_cast<double>(twips) / perPixel(twipsPerPixel))));
}

// The window's Left and Top in twips. The window itself only knows pixels, so the twips the
// settings set are kept beside it and stand while the window is still at the pixel they
// gave; once the user has moved it, its pixel position is all there is.
long leftTwips(const Form1& f) {
  if (f.placedTwips.set && f.left() == f.placedTwips.atLeft) return f.placedTwips.left;
  return static_cast<long>(f.left()) * perPixel(TwipsX);
}
long topTwips(const Form1& f) {
  if (f.placedTwips.set && f.top() == f.placedTwips.atTop) return f.placedTwips.top;
  return static_cast<long>(f.top()) * perPixel(TwipsY);
}

// Reading drops blanks at both ends of a value and one pair of enclosing quotation marks.
// A skin or profile name that either would change goes inside double quotes, so the name
// read at the next start is the one written.
std::string readsBackAsItself(const std::string& v) {
  if (v.empty()) return v;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A; };
  bool enclosed = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  if (blank(v.front()) || blank(v.back()) || enclosed) return '"' + v + '"';
  return v;
}

// A whole decimal number from `low` to `high`, nothing else; `fallback` otherwise.
int wholeNumberIn(const std::string& text, int low, int high, int fallback) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return fallback;
  const int v = std::stoi(text);
  return v >= low && v <= high ? v : fallback;
}

// Six hexadecimal digits RRGGBB, as colour pickers and streaming programs show a colour,
// with or without a leading '#'.
bool colorFromHex(std::string text, plat::Color& out) {
  if (!text.empty() && text.front() == '#') text.erase(0, 1);
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  const unsigned long v = std::stoul(text, nullptr, 16);
  out = plat::rgb(static_cast<int>(v >> 16), static_cast<int>(v >> 8), static_cast<int>(v));
  return true;
}

}  // namespace

void ReadDisplaySettings(Form1& form) {
  form.minLitMs = wholeNumberIn(readValue("display", "minLitMs"), 0, 1000, kDefaultMinLitMs);
  form.gridBackground = kGridBackground;
  colorFromHex(readValue("display", "backColor"), form.gridBackground);
  form.seeThrough = wholeNumberIn(readValue("display", "seeThrough"), 0, 1, 0) == 1;
  form.showCounters = wholeNumberIn(readValue("display", "counters"), 0, 1, 0) == 1;
  // The window's own background shows wherever the grid does not reach (during a resize);
  // see-through, it goes with the grid's.
  if (form.seeThrough) form.setBackColor(form.gridBackground);
  form.setColorKey(form.seeThrough, form.gridBackground);
}

void ReadSettings(Form1& form) {
  long left = twipsFromFile(readValue("window", "X"), TwipsX);
  long top = twipsFromFile(readValue("window", "Y"), TwipsY);
  form.setLeft(pixelsFromTwips(left, TwipsX));
  form.setTop(pixelsFromTwips(top, TwipsY));
  form.placedTwips = {left, top, form.left(), form.top(), true};

  form.sTitleReleace(form, readNumber(readValue("window", "frame")) != 0);

  SkinName = readValue("style", "skin");
  if (SkinName.empty()) SkinName = kDefaultSkin;
  const std::string profile = readValue("key", "profile");
  selectProfileTitled(profile.empty() ? kDefaultProfile : profile);
  ReadDisplaySettings(form);
}

void WriteSettings(const Form1& form) {
  const std::string path = settingsPath();
  const long left = leftTwips(form);
  const long top = topTwips(form);
  // Every value is written, changed or not, in one replacement of the file, so a failure
  // or a kill never leaves a file that mixes old and new values.
  const bool saved = iniWriteAll(
      {{"window", "X", std::to_string(pixelsForFile(left, TwipsX))},
       {"window", "Y", std::to_string(pixelsForFile(top, TwipsY))},
       {"window", "frame", Frameless ? "1" : "0"},
       {"style", "skin", readsBackAsItself(SkinName)},
       {"key", "profile", readsBackAsItself(ProfileName)}},
      path);
  if (!saved) reportUnsavedFile(path);
}

}  // namespace lumatap
