#include "state/module1.h"

#include <cmath>
#include <cstdlib>

#include "platform/system.h"
#include "platform/ui.h"

namespace lumatap {

int16 TwipsX;
int16 TwipsY;
int16 CaptionHeight;
int16 FrameWidth;
int16 FrameHeight;
KeyDef KeyDefs[kKeyDefCount];
std::string ProfTitles[kMaxProfiles];
int16 ProfKeyCounts[kMaxProfiles];
int16 ProfCols[kMaxProfiles];
int16 ProfRows[kMaxProfiles];
int16 ProfKeys[kMaxProfiles][kSlotsPerProfile];
std::optional<std::string> unresolvedKeyNames[kMaxProfiles][kSlotsPerProfile];
bool profileFileHeldUnread;
int16 CurCols;
int16 CurRows;
int16 CurProfile;
std::string SkinName;
std::string ProfileName;
bool LayoutBusy;
bool Frameless;

void resetSharedState() {
  TwipsX = TwipsY = CaptionHeight = FrameWidth = FrameHeight = 0;
  for (KeyDef& k : KeyDefs) k = KeyDef{};
  for (int p = 0; p < kMaxProfiles; ++p) {
    ProfTitles[p].clear();
    ProfKeyCounts[p] = ProfCols[p] = ProfRows[p] = 0;
    for (int16& k : ProfKeys[p]) k = 0;
    for (auto& name : unresolvedKeyNames[p]) name.reset();
  }
  profileFileHeldUnread = false;
  CurCols = CurRows = CurProfile = 0;
  SkinName.clear();
  ProfileName.clear();
  LayoutBusy = false;
  Frameless = false;
}

std::string programPath(std::string_view tail) {
  std::string p = plat::programFolder();
  p.append(tail);
  return p;
}

int codeOfName(const std::string& name) {
  for (int code = 0; code < kKeyDefCount; ++code) {
    if (KeyDefs[code].Defined && KeyDefs[code].Name == name) return code;
  }
  return -1;
}

int16 CheckPath(const std::string& path) { return static_cast<int16>(plat::fileAttributes(path)); }

namespace {
// ASCII-only case folding is what a Japanese system's text comparison does to the
// delimiters the program uses; every caller passes Binary anyway.
bool matchesAt(const std::string& text, std::size_t pos, const std::string& delim, Compare c) {
  if (pos + delim.size() > text.size()) return false;
  for (std::size_t i = 0; i < delim.size(); ++i) {
    char a = text[pos + i], b = delim[i];
    if (c == Compare::Text) {
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    }
    if (a != b) return false;
  }
  return true;
}

std::size_t findFrom(const std::string& text, std::size_t pos, const std::string& delim, Compare c) {
  if (c == Compare::Binary) return text.find(delim, pos);
  for (std::size_t i = pos; i + delim.size() <= text.size(); ++i) {
    if (matchesAt(text, i, delim, c)) return i;
  }
  return std::string::npos;
}
}  // namespace

std::int32_t StrSplit(const std::string& text, const std::string& delimiter,
                      std::vector<std::string>& pieces, Compare compare) {
  if (text.empty()) return 0;
  if (delimiter.empty()) {
    pieces.assign(1, text);
    return 1;
  }
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = findFrom(text, pos, delimiter, compare);
    if (hit == std::string::npos) {
      if (out.empty()) {
        pieces.clear();
        return 0;
      }
      out.push_back(text.substr(pos));
      break;
    }
    out.push_back(text.substr(pos, hit - pos));
    pos = hit + delimiter.size();
  }
  pieces.swap(out);
  return static_cast<std::int32_t>(pieces.size());
}

double readNumber(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
  }
  std::size_t i = 0;
  if (s.size() >= 2 && s[0] == '&') {
    char kind = s[1];
    int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
    if (base == 0) return 0;
    i = 2;
    unsigned long long v = 0;
    std::size_t digits = 0;
    for (; i < s.size(); ++i) {
      char c = s[i];
      int d = (c >= '0' && c <= '9') ? c - '0'
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                       : 99;
      if (d >= base) break;
      if (v < (1ull << 40)) v = v * base + d;
      ++digits;
    }
    // Like the 16- and 32-bit literals they came from, short hex and octal numbers wrap.
    double value = static_cast<double>(v);
    if (v <= 0xFFFF && v > 0x7FFF && ((base == 16 && digits <= 4) || (base == 8 && digits <= 6))) {
      value -= 65536.0;
    } else if (v <= 0xFFFFFFFFull && v > 0x7FFFFFFFull) {
      value -= 4294967296.0;
    }
    return value;
  }
  // Sign, digits, fraction, exponent; stop at the first character that does not fit.
  std::string num;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) num.push_back(s[i++]);
  bool any = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') { num.push_back(s[i++]); any = true; }
  if (i < s.size() && s[i] == '.') {
    num.push_back(s[i++]);
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') { num.push_back(s[i++]); any = true; }
  }
  if (!any) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    std::string exp = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp.push_back(s[j++]);
    bool expDigits = false;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') { exp.push_back(s[j++]); expDigits = true; }
    if (expDigits) num += exp;
  }
  // Built from digits, sign, '.' and 'e' only; the program never changes the C locale,
  // so strtod reads '.' as the decimal point.
  double v = std::strtod(num.c_str(), nullptr);
  return v;
}

std::optional<int16> wholeNumber(std::string_view text) {
  double v = std::floor(readNumber(text));
  if (!(v >= -32768.0 && v <= 32767.0)) return std::nullopt;
  return static_cast<int16>(v);
}

long roundHalfEven(double v) { return std::lrint(std::nearbyint(v)); }

void ReadScreenMetrics() {
  plat::ScreenMetrics m = plat::screenMetrics();
  TwipsX = static_cast<int16>(roundHalfEven(m.twipsPerPixelX));
  TwipsY = static_cast<int16>(roundHalfEven(m.twipsPerPixelY));
  takeFrameMetrics(m);
}

void takeFrameMetrics(const plat::ScreenMetrics& m) {
  CaptionHeight = static_cast<int16>(m.captionHeight);
  FrameWidth = static_cast<int16>(m.frameWidth);
  FrameHeight = static_cast<int16>(m.frameHeight);
}

void reportUnsavedFile(const std::string& path) {
  // The end goes on regardless: the old file is still whole, and the user learns which one
  // kept its old content.
  plat::messageBox("ファイルを保存できませんでした。\r\n" + path, kAppTitle, plat::MsgButtons::Ok,
                   plat::MsgIcon::Exclamation);
}

}  // namespace lumatap
