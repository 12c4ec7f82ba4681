// cols.dat: the options dialog reading arbitrary bytes as its layout choices, the key
// buttons it arranges for every key count and every choice, and a profile saved with one.
//
// A user's file is read but never rewritten; every choice lists as the file gives it; the
// buttons shown are as many as the key count, of one size between 1 and 300 pixels, on a
// grid with at least one column and one row, never on top of each other; a choice that
// cannot be arranged shows (and saves) the usual layout for the key count.
// An empty input stands for a missing file, which the dialog creates with the defaults.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/keydefs.h"
#include "app/profiles.h"
#include "display/form1.h"
#include "options/frmOptions.h"
#include "platform/textfile.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using namespace lumatap;

KeyDef g_shippedKeys[kKeyDefCount];
frmOptions* g_dialog = nullptr;

std::vector<std::string> choicesOf(const std::string& line) {
  std::vector<std::string> pieces;
  if (StrSplit(line, "/", pieces) == 0) pieces.assign(1, line);
  return pieces;
}

// Columns and rows of a choice that can be arranged for `keys` buttons of at least a pixel
// across 300 pixels; false for any other.
bool arrangeable(const std::string& choice, int keys, int& cols, int& rows) {
  std::vector<std::string> sides;
  if (StrSplit(choice, ":", sides) < 2) return false;
  auto c = wholeNumber(sides[0]);
  auto r = wholeNumber(sides[1]);
  if (!c || !r || *c < 1 || *r < 1) return false;
  const int size = (*c < 2 || *r < 2) ? 300 / keys : 300 / std::max<int>(*c, *r);
  if (size < 1) return false;
  cols = *c;
  rows = *r;
  return true;
}

// The choice the built-in cols.dat offers first for a key count.
void usualLayout(int keys, int& cols, int& rows) {
  std::vector<std::string> pieces = choicesOf(kDefaultLayoutLines[keys - 1]);
  const std::string& pick = pieces[pieces.size() >= 3 ? 1 : 0];
  FUZZ_CHECK(arrangeable(pick, keys, cols, rows));
}

void checkButtons(frmOptions& d, int keys) {
  int16 cols = 0, rows = 0;
  d.chosenLayout(cols, rows);
  int wantCols = 0, wantRows = 0;
  if (!arrangeable(d.CmbCol.text(), keys, wantCols, wantRows)) usualLayout(keys, wantCols, wantRows);
  FUZZ_CHECK(cols == wantCols && rows == wantRows);

  const int size = d.Cmd[0].width();
  FUZZ_CHECK(size >= 1 && size <= 300);
  int shown = 0;
  for (int i = 0; i < kSlotCount; ++i) {
    const plat::Button& b = d.Cmd[i];
    FUZZ_CHECK(b.visible() == (i < keys));
    FUZZ_CHECK(b.width() == size && b.height() == size);
    // Slot i sits in column i % cols and row i / cols, two pixels apart, ten in from PicB.
    FUZZ_CHECK(b.left() - d.PicB.left() == (size + 2) * (i % cols) + 10);
    FUZZ_CHECK(b.top() - d.PicB.top() == (size + 2) * (i / cols) + 10);
    if (b.visible()) ++shown;
  }
  FUZZ_CHECK(shown == keys);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::initialise();
  fuzz::freshRun();
  fuzz::writeFile("keylist.dat", fuzz::sourceFile("assets/keylist.dat"));
  LoadKeyDefs();
  for (int i = 0; i < kKeyDefCount; ++i) g_shippedKeys[i] = KeyDefs[i];
  std::filesystem::create_directories(fuzz::folder() / "skin" / "default");  // for the skin list
  // One dialog for the whole run, opened as the display window opens it (only a shown
  // dialog takes clicks); each input then reads its cols.dat into it afresh.
  fuzz::freshRun();
  for (int i = 0; i < kKeyDefCount; ++i) KeyDefs[i] = g_shippedKeys[i];
  ProfileName = "WASDスタンダード";
  LoadProfiles();
  g_dialog = new frmOptions(*new Form1());  // both live as long as the process
  g_dialog->load();
  g_dialog->Form_Load();
  g_dialog->show();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzz::freshRun();
  for (int i = 0; i < kKeyDefCount; ++i) KeyDefs[i] = g_shippedKeys[i];
  fuzz::removeFile("setting.dat");
  ProfileName = "WASDスタンダード";
  LoadProfiles();  // the built-in profiles
  if (size == 0) {
    fuzz::removeFile("cols.dat");
  } else {
    fuzz::writeFile("cols.dat", bytes);
  }

  // The dialog's opening, without building its controls and pictures again: those take
  // most of the time and never see cols.dat.
  frmOptions* d = g_dialog;
  if (d->editing()) d->EndEdit();
  d->loadLayoutChoices();
  d->FillProfileList();
  d->ShowProfile(CurProfile);

  // The file is read as it is, and only a missing one is written.
  std::vector<std::string> lines;
  if (size == 0) {
    const std::string created = fuzz::readFile("cols.dat");
    FUZZ_CHECK(plat::fromCp932(created).find("6:1/3:2/2:3/1:6") != std::string::npos);
    for (int k = 0; k < 9; ++k) lines.push_back(kDefaultLayoutLines[k]);
  } else {
    FUZZ_CHECK(fuzz::readFile("cols.dat") == bytes);
    lines = plat::splitTextLines(plat::fromCp932(bytes));
  }
  for (int k = 0; k < 9; ++k) {
    FUZZ_CHECK(d->LayoutChoices[k] == (k < static_cast<int>(lines.size()) ? lines[k] : std::string()));
  }

  for (int keys = 1; keys <= 9; ++keys) {
    d->CmbKeyCnt.setListIndex(-1);
    d->CmbKeyCnt.setListIndex(keys - 1);
    const std::vector<std::string> choices = choicesOf(d->LayoutChoices[keys - 1]);
    FUZZ_CHECK(d->CmbCol.items() == choices);
    FUZZ_CHECK(d->CmbCol.listIndex() == (choices.size() >= 3 ? 1 : 0));
    checkButtons(*d, keys);
    for (int i = 0; i < d->CmbCol.listCount(); ++i) {
      d->CmbCol.setListIndex(i);
      checkButtons(*d, keys);
    }
  }

  // Saving the first profile (six keys) with one of the six-key choices stores the layout
  // the preview showed.
  d->CmdEdit.userClick();
  FUZZ_CHECK(d->editing());
  d->CmbKeyCnt.setListIndex(5);
  d->CmbCol.setListIndex(static_cast<int>(size % static_cast<std::size_t>(d->CmbCol.listCount())));
  int16 cols = 0, rows = 0;
  d->chosenLayout(cols, rows);
  d->CmdSave.userClick();
  FUZZ_CHECK(plat::headless::shownBoxes().empty());
  FUZZ_CHECK(!d->editing());
  FUZZ_CHECK(ProfKeyCounts[0] == 6 && ProfCols[0] == cols && ProfRows[0] == rows);
  FUZZ_CHECK(cols >= 1 && rows >= 1);
  return 0;
}
