#pragma once
// The shared application state and the small helpers every part of the program uses.
// Everything here exists once for the whole run and starts zero-filled.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {
struct ScreenMetrics;
}

namespace lumatap {

using int16 = std::int16_t;

// One entry of the key definition table, indexed by virtual-key code.
struct KeyDef {
  int16 Cell = 0;      // skin cell that shows the key
  std::string Name;    // name shown in the options dialog and stored in setting.dat
  bool Defined = false;
};

constexpr int CellSize = 48;
constexpr int kKeyDefCount = 256;
constexpr int kMaxProfiles = 10;
constexpr int kSlotsPerProfile = 12;
// The mouse buttons' virtual-key codes: left, right, middle, and the side buttons back and
// forward. They light and are assigned like keys.
inline constexpr int16 kMouseButtonCodes[] = {1, 2, 4, 5, 6};

// The program's name: the display window's caption and the title of every message box
// that has none of its own.
inline constexpr const char* kAppTitle = "Lumatap";
// The skin every installation has, shown when the chosen one cannot be.
inline constexpr const char* kDefaultSkin = "default";
// The profile shown when the settings name none.
inline constexpr const char* kDefaultProfile = "WASDスタンダード";

extern int16 TwipsX;
extern int16 TwipsY;
extern int16 CaptionHeight;
extern int16 FrameWidth;
extern int16 FrameHeight;

extern KeyDef KeyDefs[kKeyDefCount];

extern std::string ProfTitles[kMaxProfiles];
extern int16 ProfKeyCounts[kMaxProfiles];
extern int16 ProfCols[kMaxProfiles];
extern int16 ProfRows[kMaxProfiles];
extern int16 ProfKeys[kMaxProfiles][kSlotsPerProfile];
// The name setting.dat gave a slot whose key no defined entry has (keylist.dat empty or
// damaged, or the key since removed from it); nothing for every other slot. Such a slot is
// written back under that name, so a later run with a good keylist.dat finds its key again.
// Giving the slot a key in the options dialog drops the name.
extern std::optional<std::string> unresolvedKeyNames[kMaxProfiles][kSlotsPerProfile];
// setting.dat held something the table did not take: a line that could not be taken apart,
// a line after the tenth profile, bytes that are no code page 932 text, or the file could
// not be read at all. The end then keeps the old file beside the new one, so nothing the
// user wrote is lost.
extern bool profileFileHeldUnread;

extern int16 CurCols;
extern int16 CurRows;
extern int16 CurProfile;
extern std::string SkinName;
extern std::string ProfileName;
extern bool LayoutBusy;
extern bool Frameless;

// Sets LayoutBusy for its lifetime and clears it on every way out.
struct LayoutBusyScope {
  LayoutBusyScope() { LayoutBusy = true; }
  ~LayoutBusyScope() { LayoutBusy = false; }
  LayoutBusyScope(const LayoutBusyScope&) = delete;
  LayoutBusyScope& operator=(const LayoutBusyScope&) = delete;
};

// Back to the start values; the program does this once, tests before each case.
void resetSharedState();

// The code of the first defined key with that name, lowest code first; -1 when none has it.
// Profiles store key names, and a name several codes share stands for the lowest of them.
int codeOfName(const std::string& name);

// The program folder followed by a name, e.g. programPath("\\keylist.dat").
std::string programPath(std::string_view tail);

// 1 an existing file, 0 an existing folder, -1 nothing readable of that name.
int16 CheckPath(const std::string& path);

enum class Compare { Binary, Text };

// Splits text at every delimiter. Empty text: 0, and pieces keeps what it held. Text
// without the delimiter: 0 and no pieces. Otherwise every piece, a trailing empty one
// included, and their count.
std::int32_t StrSplit(const std::string& text, const std::string& delimiter,
                      std::vector<std::string>& pieces, Compare compare = Compare::Binary);

// The numeric value of the longest leading number in text: optional sign, digits,
// fraction, exponent, or &H / &O numbers; blanks, tabs and line feeds are ignored
// anywhere; '.' is the decimal point whatever the locale; 0 when there is no number.
double readNumber(std::string_view text);

// The value rounded toward minus infinity, or nothing when it does not fit 16 bits.
std::optional<int16> wholeNumber(std::string_view text);

// Rounds halves to the even neighbour, as the program does for twips and sizes.
long roundHalfEven(double v);

void ReadScreenMetrics();
// Takes CaptionHeight, FrameWidth and FrameHeight from the metrics of a monitor: the frame
// of a window follows the scale of the monitor it is on.
void takeFrameMetrics(const plat::ScreenMetrics& m);

// Tells the user that a data file could not be saved; the old file is still whole.
void reportUnsavedFile(const std::string& path);

}  // namespace lumatap
