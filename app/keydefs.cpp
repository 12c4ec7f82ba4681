// Key definition table from keylist.dat: for each virtual-key code, the skin cell that
// shows it and the name it is listed and stored under.
#include <string>
#include <vector>

#include "app/keydefs.h"

#include "state/module1.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "platform/ui.h"

namespace lumatap {
namespace {

constexpr int kMaxDefinedCode = 254;  // 255 keeps the reset value
constexpr int kMaxCell = 84;

// keylist.dat belongs to the installation; without it no key can be shown or stored, so
// the program ends here without saving anything.
[[noreturn]] void endForMissingKeyList(const char* what) {
  plat::messageBox(std::string(what) + "\r\nLumatapをインストールしなおしてください！", "致命的エラー",
                   plat::MsgButtons::Ok, plat::MsgIcon::Exclamation);
  plat::terminateProcess(0);
}

}  // namespace

void LoadKeyDefs() {
  for (KeyDef& k : KeyDefs) k = KeyDef{0, "未設定", false};

  const std::string path = programPath("\\keylist.dat");
  if (CheckPath(path) < 0) endForMissingKeyList("構成ファイルの一部(keylist.dat)が存在しません。");
  std::vector<std::string> lines;
  if (!plat::readTextLines(path, lines)) {
    // Present but unreadable (a folder of that name, no permission): as good as missing.
    endForMissingKeyList("構成ファイルの一部(keylist.dat)を読み込めません。");
  }

  std::vector<std::string> fields;
  for (const std::string& line : lines) {
    // A line without code, cell and name (an empty one included) defines nothing.
    if (StrSplit(line, "\t", fields) < 3) continue;
    std::optional<int16> code = wholeNumber(fields[0]);
    std::optional<int16> cell = wholeNumber(fields[1]);
    if (!code || !cell) continue;  // not a 16-bit number
    if (*code < 0 || *code > kMaxDefinedCode || *cell < 0 || *cell > kMaxCell) continue;
    KeyDefs[*code] = KeyDef{*cell, fields[2], true};
  }
}

}  // namespace lumatap
