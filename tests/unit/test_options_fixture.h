#pragma once
// The display window with the built-in profiles and a few keys, and the options dialog
// opened from its pop-up menu as the user opens it.

#include <memory>

#include "app/startup.h"
#include "platform/hook.h"
#include "tests/unit/fixture.h"

namespace lumatap::testing {

namespace hl = plat::headless;
using plat::MsgAnswer;
using plat::MsgButtons;
using plat::MsgIcon;

class OptionsTest : public ProgramFolderTest {
protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    const struct { int code; const char* name; } keys[] = {
        {9, "Tab"}, {13, "Enter"}, {16, "Shift"}, {27, "Esc"}, {32, "Space"}, {37, "←"},
        {38, "↑"}, {39, "→"}, {40, "↓"}, {65, "A"}, {68, "D"}, {83, "S"}, {87, "W"},
        {88, "X"}, {90, "Z"}, {160, "Shift"}};
    for (KeyDef& k : KeyDefs) k = KeyDef{0, "未設定", false};
    int16 cell = 0;
    for (auto k : keys) KeyDefs[k.code] = KeyDef{++cell, k.name, true};
    addProfile("WASDスタンダード", 3, 2, {16, 87, 32, 65, 83, 68});
    addProfile("矢印スタンダード", 3, 2, {16, 38, 32, 37, 40, 39});
    addProfile("東方弾幕風", 4, 2, {16, 38, 90, 88, 37, 40, 39, 32});
    addProfile("OSU！用ZXキー", 2, 1, {90, 88});
    std::ifstream gif(LUMATAP_SOURCE_DIR "/assets/skin/default/keys.gif", std::ios::binary);
    const std::string skin(std::istreambuf_iterator<char>(gif), {});
    for (const char* name : {"skin/default/keys.gif", "skin/dark/keys.gif"}) writeBytes(name, skin);
    SkinName = "default";
    program = std::make_unique<Program>();
    form = &program->form;
    form->load();
    LoadSkin(*form);
    SetTopmost(*form, 1);
    plat::SetHook(*form);
  }
  void TearDown() override {
    program.reset();
    ProgramFolderTest::TearDown();
  }

  void addProfile(const char* title, int cols, int rows, std::initializer_list<int> codes) {
    int p = 0;
    while (!ProfTitles[p].empty()) ++p;
    ProfTitles[p] = title;
    ProfKeyCounts[p] = static_cast<int16>(codes.size());
    ProfCols[p] = static_cast<int16>(cols);
    ProfRows[p] = static_cast<int16>(rows);
    int s = 0;
    for (int c : codes) ProfKeys[p][s++] = static_cast<int16>(c);
  }

  // Right-click on the grid and choose "オプション".
  frmOptions& open() {
    hl::queueMenuChoice(1);
    form->PicView.userMouseUp(2, 0, 5, 5);
    return dlg();
  }
  frmOptions& dlg() { return *program->options(); }
  bool dialogOpen() { return program->options() && program->options()->loaded(); }

  // A left click on a slot: it takes the focus, then the button comes up.
  void leftClick(int slot) {
    dlg().Cmd[slot].userFocus();
    dlg().Cmd[slot].userMouseUp(1, 0, 1, 1);
  }
  void rightClickChoose(int slot, int menuPosition) {
    hl::queueMenuChoice(menuPosition);
    dlg().Cmd[slot].userMouseUp(2, 0, 1, 1);
  }
  std::vector<std::string> captions() {
    std::vector<std::string> out;
    for (auto& b : dlg().Cmd) out.push_back(b.caption());
    return out;
  }
  // A shown message box as "text | title | buttons | icon"; the last one by default.
  static std::string box(int fromEnd = 1) {
    const auto& all = hl::shownBoxes();
    if (static_cast<int>(all.size()) < fromEnd) return "no box";
    const hl::ShownBox& b = all[all.size() - static_cast<std::size_t>(fromEnd)];
    const char* icons[] = {"None", "Critical", "Question", "Exclamation"};
    return b.text + " | " + b.title + " | " + (b.buttons == MsgButtons::Ok ? "Ok" : "YesNo") + " | " +
           icons[static_cast<int>(b.icon)];
  }

  std::unique_ptr<Program> program;
  Form1* form = nullptr;
};

}  // namespace lumatap::testing
