// Key assignment: the user selects a slot with a left click and presses the key it is to
// show; keys the dialog itself takes (arrows, Tab, Enter, Esc) and the mouse buttons come
// from the slot's menu.
#include "options/frmOptions.h"

namespace lumatap {

void frmOptions::buildMenu() {
  struct Item {
    const char* caption;
    int index;
  } const keys[] = {{"↑キー", 0},  {"←キー", 1},    {"↓キー", 2},  {"→キー", 3},
                    {"Tabキー", 9}, {"Enterキー", 13}, {"Escキー", 27}};
  mnu2.name = "mnu2";
  for (const Item& k : keys) {
    plat::MenuItem item;
    item.caption = k.caption;
    item.index = k.index;
    item.Click = [this](int index) { mnuKeys_Click(index); };
    mnu2.items.push_back(item);
  }
  plat::MenuItem separator;  // mun2ber
  separator.caption = "-";
  mnu2.items.push_back(separator);
  plat::MenuItem del;
  del.caption = "削除";
  del.Click = [this](int) { mnuDel_Click(); };
  mnu2.items.push_back(del);
  // A click on a slot selects it, so the mouse buttons are chosen here too: those the key
  // table defines, under its names.
  bool first = true;
  for (int code : kMouseButtonCodes) {
    const KeyDef& k = KeyDefs[code];
    if (!k.Defined || k.Name.empty() || k.Name == "-") continue;  // nothing a slot or a menu could show
    if (first) mnu2.items.push_back(separator);
    first = false;
    plat::MenuItem item;
    item.caption = k.Name;
    item.index = code;
    item.Click = [this](int index) { mnuButtons_Click(index); };
    mnu2.items.push_back(item);
  }
}

void frmOptions::Cmd_MouseUp(int index, int button, int, int, int) {
  if (button == static_cast<int>(plat::MouseButtons::Right)) {
    MenuSlot = static_cast<int16>(index);
    plat::popupMenu(*this, mnu2);
  } else if (button == static_cast<int>(plat::MouseButtons::Left)) {
    // The click has given the slot the focus; the colour shows where the next key goes.
    for (plat::Button& b : Cmd) b.setBackColor(plat::kButtonFace);
    Cmd[index].setBackColor(kSlotSelected);
  }
}

void frmOptions::Cmd_KeyDown(int index, int keyCode, int) {
  AssignSlotKey(static_cast<int16>(index), static_cast<int16>(keyCode));
}

void frmOptions::mnuKeys_Click(int index) {
  // The arrow items sit at 0 to 3; the others carry their key code as their index.
  static const int16 arrows[] = {38, 37, 40, 39};
  const int16 code = index >= 0 && index <= 3 ? arrows[index] : static_cast<int16>(index);
  AssignSlotKey(MenuSlot, code);
}

void frmOptions::mnuButtons_Click(int index) { AssignSlotKey(MenuSlot, static_cast<int16>(index)); }

void frmOptions::mnuDel_Click() {
  Cmd[MenuSlot].setCaption("");
  Cmd[MenuSlot].setBackColor(plat::kButtonFace);
}

void frmOptions::AssignSlotKey(int16 slot, int16 code) {
  if (slot < 0 || slot >= kSlotCount || code < 0 || code >= kKeyDefCount) return;
  if (!KeyDefs[code].Defined) return;  // only keys the skins can show
  const std::string& name = KeyDefs[code].Name;
  Cmd[slot].setCaption(name);
  Cmd[slot].setBackColor(kSlotAssigned);
  if (name.empty()) return;
  // A key shows in one slot only: free the other slot holding it, hidden ones included.
  for (int j = 0; j < kSlotCount; ++j) {
    if (j != slot && Cmd[j].caption() == name) {
      Cmd[j].setCaption("");
      break;
    }
  }
}

}  // namespace lumatap
