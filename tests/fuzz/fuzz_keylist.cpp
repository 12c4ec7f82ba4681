// keylist.dat: LoadKeyDefs on arbitrary file bytes. Whatever the file holds, the table keeps
// 256 entries, every defined one names a skin cell the skin has (0 to 84), code 255 stays
// undefined, and a present file never ends the program.
//
// An empty input stands for a missing file, which must end the program with its message.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/keydefs.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using lumatap::KeyDef;
using lumatap::KeyDefs;
using lumatap::kKeyDefCount;

struct Table {
  KeyDef defs[kKeyDefCount];
  bool operator==(const Table& o) const {
    for (int i = 0; i < kKeyDefCount; ++i) {
      if (defs[i].Cell != o.defs[i].Cell || defs[i].Name != o.defs[i].Name ||
          defs[i].Defined != o.defs[i].Defined) {
        return false;
      }
    }
    return true;
  }
};

// Loads the bytes as keylist.dat; false when the program ended instead.
bool load(const std::string& bytes, Table& out) {
  fuzz::freshRun();
  fuzz::writeFile("keylist.dat", bytes);
  try {
    lumatap::LoadKeyDefs();
  } catch (const plat::headless::Terminated&) {
    return false;
  }
  for (int i = 0; i < kKeyDefCount; ++i) out.defs[i] = KeyDefs[i];
  return true;
}

std::string lfOnly(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out.push_back(s[i]);
  }
  return out;
}

void checkMissingFileEndsTheProgram() {
  fuzz::freshRun();
  fuzz::removeFile("keylist.dat");
  bool ended = false;
  try {
    lumatap::LoadKeyDefs();
  } catch (const plat::headless::Terminated&) {
    ended = true;
  }
  FUZZ_CHECK(ended);
  FUZZ_CHECK(plat::headless::shownBoxes().size() == 1);
  FUZZ_CHECK(plat::headless::shownBoxes()[0].title == "致命的エラー");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::initialise();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    checkMissingFileEndsTheProgram();
    return 0;
  }
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  static Table table;  // 256 names: kept off the stack
  FUZZ_CHECK(load(bytes, table));
  FUZZ_CHECK(plat::headless::shownBoxes().empty());

  const std::string text = plat::fromCp932(bytes);
  for (int code = 0; code < kKeyDefCount; ++code) {
    const KeyDef& k = table.defs[code];
    if (!k.Defined) {
      FUZZ_CHECK(k.Cell == 0 && k.Name == "未設定");
      continue;
    }
    FUZZ_CHECK(code <= 254);
    FUZZ_CHECK(k.Cell >= 0 && k.Cell <= 84);
    // The name is one field of one line: it holds no tab or line break, and the file has it
    // after a tab.
    FUZZ_CHECK(k.Name.find_first_of("\t\r\n") == std::string::npos);
    FUZZ_CHECK(text.find("\t" + k.Name) != std::string::npos);
  }
  FUZZ_CHECK(!table.defs[255].Defined);

  // The same lines with LF line ends, or with a line for code 255 added, define the same keys.
  static Table other;
  FUZZ_CHECK(load(lfOnly(bytes), other));
  FUZZ_CHECK(other == table);
  FUZZ_CHECK(load(bytes + "\r\n255\t1\tX\r\n", other));
  FUZZ_CHECK(other == table);
  return 0;
}
