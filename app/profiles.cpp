// Profile table and setting.dat: one profile per line, title TAB count TAB columns:rows
// TAB key names, read at load (created from the built-in table when absent) and written
// back at the end.
#include <algorithm>
#include <string>
#include <vector>

#include "app/profiles.h"

#include "display/form1.h"
#include "platform/textfile.h"
#include "state/profile_table.h"

namespace lumatap {
namespace {

std::string profilesPath() { return programPath("\\setting.dat"); }

// Files the line as profile p when it can be taken apart; false leaves the table as it was.
// A line without title, count and layout, with a number outside 16 bits or a layout
// without ':' is skipped; a count above 12 and a grid side below 1 are held to what the
// table and the display can use. A negative count stays as it is, to be written back as
// the user wrote it; the display shows no key for it.
bool takeProfile(const std::string& line, int p) {
  std::vector<std::string> fields, sides;
  if (StrSplit(line, "\t", fields) < 3 || fields[0].empty()) return false;
  std::optional<int16> count = wholeNumber(fields[1]);
  if (!count || StrSplit(fields[2], ":", sides) < 2) return false;
  std::optional<int16> cols = wholeNumber(sides[0]);
  std::optional<int16> rows = wholeNumber(sides[1]);
  if (!cols || !rows) return false;

  ProfTitles[p] = fields[0];
  ProfKeyCounts[p] = std::min<int16>(*count, kSlotsPerProfile);
  ProfCols[p] = std::max<int16>(*cols, 1);
  ProfRows[p] = std::max<int16>(*rows, 1);
  // Slot 0 is read even for a count of 0 or less. A name that no defined key has, or a name the
  // line lacks, leaves the slot's key as it was; the name that no key has is kept for saving.
  for (auto& name : unresolvedKeyNames[p]) name.reset();
  int slots = std::max<int>(ProfKeyCounts[p], 1);
  for (int s = 0; s < slots && s + 3 < static_cast<int>(fields.size()); ++s) {
    int code = codeOfName(fields[s + 3]);
    if (code >= 0) {
      ProfKeys[p][s] = static_cast<int16>(code);
    } else {
      unresolvedKeyNames[p][s] = fields[s + 3];
    }
  }
  return true;
}

// Fills the table from the lines, up to ten profiles; returns how many were taken, and
// whether a line that held anything was left out.
int takeProfiles(const std::vector<std::string>& lines, bool& leftOut) {
  int p = 0;
  leftOut = false;
  for (const std::string& line : lines) {
    // Lines after the tenth profile are not read. An empty line holds nothing to lose.
    if (p == kMaxProfiles || !takeProfile(line, p)) {
      if (!line.empty()) leftOut = true;
      continue;
    }
    ++p;
  }
  return p;
}

}  // namespace

void LoadProfiles() {
  const std::string path = profilesPath();
  if (CheckPath(path) < 0) plat::writeTextFile(path, Form1::TxtSetting);
  std::vector<std::string> lines;
  bool faithful = true, leftOut = false;
  const bool read = plat::readTextLines(path, lines, &faithful);
  int taken = read ? takeProfiles(lines, leftOut) : 0;
  profileFileHeldUnread = !read || !faithful || leftOut;
  // With no profile (an empty, unreadable or wholly damaged file) the display would have
  // nothing to show and the options dialog nothing to list: the built-in profiles stand in,
  // and the end of the run saves them.
  if (taken == 0) takeProfiles(plat::splitTextLines(Form1::TxtSetting), leftOut);
  selectProfileTitled(ProfileName);
}

void SaveProfiles() {
  std::string text;
  for (int p = 0; p < kMaxProfiles && !ProfTitles[p].empty(); ++p) {
    text += ProfTitles[p] + "\t" + std::to_string(ProfKeyCounts[p]) + "\t" +
            std::to_string(ProfCols[p]) + ":" + std::to_string(ProfRows[p]) + "\t";
    int count = std::clamp<int>(ProfKeyCounts[p], 0, kSlotsPerProfile);
    for (int s = 0; s < count; ++s) {
      int code = ProfKeys[p][s];
      if (code < 0 || code >= kKeyDefCount) code = 0;  // shows and stores like an unset slot
      if (s > 0) text += "\t";
      text += unresolvedKeyNames[p][s] ? *unresolvedKeyNames[p][s] : KeyDefs[code].Name;
    }
    text += "\r\n";
  }
  const std::string path = profilesPath();
  const bool saved = profileFileHeldUnread ? plat::writeTextFileKeepingOld(path, text)
                                           : plat::writeTextFile(path, text);
  if (!saved) reportUnsavedFile(path);
}

}  // namespace lumatap
