// Key count and layout choice: cols.dat, the two drop-down lists and the key button preview.
#include <algorithm>
#include <string>
#include <vector>

#include "options/frmOptions.h"
#include "platform/textfile.h"

namespace lumatap {

namespace {
constexpr int kPreviewSpan = 300;  // the buttons span about this many pixels of PicB
constexpr int kPreviewMargin = 10;
constexpr int kPreviewGap = 2;

// cols.dat is the user's to edit, and a drop-down list fills slowly: many thousands of
// choices on a line would keep the dialog (and the display, which shares its thread) from
// answering for seconds. No one arranges nine keys in more ways than these.
constexpr int kMaxChoicesPerLine = 200;
constexpr std::size_t kMaxChoiceLineLength = 2000;

// The line of choices as far as it stays within both limits, cut after a whole choice.
std::string cappedChoices(const std::string& line) {
  std::size_t kept = 0;  // length of the whole choices kept, without a final '/'
  std::size_t pos = 0;
  int choices = 0;
  while (choices < kMaxChoicesPerLine) {
    const std::size_t slash = line.find('/', pos);
    const std::size_t end = slash == std::string::npos ? line.size() : slash;
    if (end > kMaxChoiceLineLength) break;
    kept = end;
    ++choices;
    if (slash == std::string::npos) return line.substr(0, kept);
    pos = slash + 1;
  }
  if (choices > 0) return line.substr(0, kept);
  // A first choice longer than the limit arranges nothing anyway; keep whole characters.
  std::size_t cut = kMaxChoiceLineLength;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  return line.substr(0, cut);
}

// Position of the choice offered first for a line of choices.
int preselectedChoice(int pieces) { return pieces >= 3 ? 1 : 0; }

int slotSize(int cols, int rows, int keys) {
  if (cols < 2 || rows < 2) return kPreviewSpan / keys;
  return kPreviewSpan / (cols < rows ? rows : cols);
}

// "cols:rows" with at least one column and one row; anything else cannot be arranged.
bool parseChoice(const std::string& text, int16& cols, int16& rows) {
  std::vector<std::string> pieces;
  if (StrSplit(text, ":", pieces) < 2) return false;
  auto c = wholeNumber(pieces[0]);
  auto r = wholeNumber(pieces[1]);
  if (!c || !r || *c < 1 || *r < 1) return false;
  cols = *c;
  rows = *r;
  return true;
}

// The choice that the built-in cols.dat pre-selects for a key count of 1 to 9.
void defaultLayout(int keys, int16& cols, int16& rows) {
  std::vector<std::string> pieces;
  int n = StrSplit(kDefaultLayoutLines[keys - 1], "/", pieces);
  if (n == 0) pieces.assign(1, kDefaultLayoutLines[keys - 1]);
  parseChoice(pieces[static_cast<std::size_t>(preselectedChoice(n))], cols, rows);
}

std::string defaultFileText() {
  std::string text;
  for (const char* line : kDefaultLayoutLines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}
}  // namespace

void frmOptions::loadLayoutChoices() {
  for (std::string& line : LayoutChoices) line.clear();
  auto useDefaults = [this] {
    for (int k = 0; k < kSlotCount; ++k) LayoutChoices[k] = kDefaultLayoutLines[k];
  };
  const std::string path = programPath("\\cols.dat");
  // The file is written only to create it: a user's own choices are never overwritten.
  if (CheckPath(path) < 0 && !plat::writeTextFile(path, defaultFileText())) {
    useDefaults();  // a folder we may not write to still gets a working dialog
    return;
  }
  std::vector<std::string> lines;
  if (!plat::readTextLines(path, lines)) {
    useDefaults();
    return;
  }
  for (std::size_t k = 0; k < lines.size() && k < kSlotCount; ++k) {
    LayoutChoices[k] = cappedChoices(lines[k]);
  }
}

void frmOptions::fillKeyCounts() {
  for (int k = 1; k <= kSlotCount; ++k) CmbKeyCnt.addItem(std::to_string(k));
}

void frmOptions::CmbKeyCnt_Click() { CmbKeyCnt_Change(); }

void frmOptions::CmbKeyCnt_Change() {
  CmbCol.clear();
  const int p = CmbKeyCnt.listIndex();
  if (p < 0 || p >= kSlotCount) return;
  const std::string& line = LayoutChoices[p];
  std::vector<std::string> pieces;
  const int n = StrSplit(line, "/", pieces);
  if (n > 0) {
    for (const std::string& piece : pieces) CmbCol.addItem(piece);
  } else {
    CmbCol.addItem(line);  // one choice, or an empty line that shows the default layout
  }
  CmbCol.setListIndex(preselectedChoice(n));
}

void frmOptions::CmbCol_Click() { CmbCol_Change(); }

void frmOptions::chosenLayout(int16& cols, int16& rows) const {
  const int keys = std::clamp(CmbKeyCnt.listIndex() + 1, 1, kSlotCount);
  if (parseChoice(CmbCol.text(), cols, rows) && slotSize(cols, rows, keys) >= 1) return;
  // A hand-made choice that cannot be arranged (no colon, no columns, no rows, or so many
  // that a button would vanish): preview and store the usual layout for the key count.
  defaultLayout(keys, cols, rows);
}

void frmOptions::CmbCol_Change() {
  const int keys = CmbKeyCnt.listIndex() + 1;
  int16 cols = 1, rows = 1;
  chosenLayout(cols, rows);
  const int size = keys >= 1 ? slotSize(cols, rows, keys) : 0;
  for (int i = 0; i < kSlotCount; ++i) {
    Cmd[i].setVisible(false);
    placeSlot(i, (size + kPreviewGap) * (i % cols) + kPreviewMargin,
              (size + kPreviewGap) * (i / cols) + kPreviewMargin, size);
    if (i < keys) Cmd[i].setVisible(true);
  }
}

}  // namespace lumatap
