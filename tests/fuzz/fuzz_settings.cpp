// lumatap.ini through the files, as the program uses it: IniRead and IniWrite with UTF-8
// names and values, and the settings the program keeps read, saved and read again.
//
// Input: section NUL key NUL value NUL file. Section, key and value are UTF-8 as the program
// passes them; the file is what lies on the disk. An empty file part means no lumatap.ini.
// The byte-level oracle speaks code page 932; a file in another encoding is checked for
// keeping it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/iniReadWrite.h"
#include "app/settings.h"
#include "display/form1.h"
#include "tests/fuzz/fuzz_common.h"
#include "tests/fuzz/ini_oracle.h"

namespace {

using fuzz::ini::Input;
using lumatap::Form1;

const std::string kIni = "lumatap.ini";
// IniRead's default when nothing is found; no value read from a line can hold a line end.
const std::string kMissing = "\n(missing)";

std::string path() { return lumatap::programPath("\\" + kIni); }

void putFile(const std::string& bytes) {
  if (bytes.empty()) {
    fuzz::removeFile(kIni);
  } else {
    fuzz::writeFile(kIni, bytes);
  }
}

bool fileExists() { return std::filesystem::exists(fuzz::folder() / kIni); }

// ---- IniRead and IniWrite ------------------------------------------------------------

// A file an editor saved as UTF-8 or UTF-16 is edited in that encoding: it keeps it, and a
// write leaves the program's other keys alone.
void checkOtherEncoding(const Input& in, const plat::IniText& ini) {
  putFile(in.file);
  const std::string skin = lumatap::IniRead("style", "skin", kMissing, path());
  const bool sameAsSkin =
      plat::readIniValue("[style]\r\nskin=1", in.section, in.key, plat::IniChars::Utf8).has_value();
  if (!lumatap::IniWrite(in.section, in.key, in.value, path())) {
    FUZZ_CHECK(fuzz::readFile(kIni) == in.file);
    return;
  }
  const std::string written = fuzz::readFile(kIni);
  FUZZ_CHECK(!std::filesystem::exists(fuzz::folder() / (kIni + ".tmp~")));
  // What could not be read whole was kept beside the new file before it was replaced.
  if (!ini.exact && written != in.file) FUZZ_CHECK(fuzz::readFile(kIni + ".bak") == in.file);
  // A byte order mark holds the encoding for good. Without one, the write may have replaced
  // the bytes that told UTF-8 apart from code page 932, and the file reads otherwise.
  if (plat::decodeIniFile(written).encoding != ini.encoding) {
    FUZZ_CHECK(ini.encoding == plat::IniEncoding::Utf8);
    return;
  }
  if (!sameAsSkin) FUZZ_CHECK(lumatap::IniRead("style", "skin", kMissing, path()) == skin);
  const auto ascii = [](const std::string& t) {
    return std::all_of(t.begin(), t.end(), [](char c) { return c > 0 && c < 0x7F; });
  };
  const bool plain = !in.value.empty() && in.value.size() < 100 && ascii(in.section) &&
                     ascii(in.key) && std::all_of(in.value.begin(), in.value.end(), [](char c) {
                       return c > ' ' && c < 0x7F && c != '"' && c != '\'';
                     });
  if (plain) FUZZ_CHECK(lumatap::IniRead(in.section, in.key, kMissing, path()) == in.value);
}

void checkReadWrite(const Input& in) {
  const plat::IniText ini = plat::decodeIniFile(in.file);
  if (ini.encoding != plat::IniEncoding::Cp932) {
    checkOtherEncoding(in, ini);
    return;
  }
  putFile(in.file);
  const std::string section = plat::toCp932(in.section), key = plat::toCp932(in.key);
  const std::string value = plat::toCp932(in.value);
  const auto direct = plat::readIniValue(in.file, section, key);
  const std::string before = lumatap::IniRead(in.section, in.key, kMissing, path());
  FUZZ_CHECK(before == (direct ? plat::fromCp932(*direct) : kMissing));
  // The program's other keys, to see that the write leaves them alone.
  const std::string skin = lumatap::IniRead("style", "skin", kMissing, path());
  const bool sameAsSkin = plat::readIniValue("[style]\r\nskin=1", section, key).has_value();

  const bool ok = lumatap::IniWrite(in.section, in.key, in.value, path());
  FUZZ_CHECK(ok == fuzz::ini::writeAllowed({section, key, value, in.file}));
  if (!ok) {
    // A refused write leaves the file exactly as it was, or absent; so does a change of
    // several keys in which this one is refused, however good the others.
    FUZZ_CHECK(fileExists() == !in.file.empty());
    FUZZ_CHECK(fuzz::readFile(kIni) == in.file);
    FUZZ_CHECK(!lumatap::iniWriteAll({{"style", "skin", "fz"}, {in.section, in.key, in.value}}, path()));
    FUZZ_CHECK(fileExists() == !in.file.empty());
    FUZZ_CHECK(fuzz::readFile(kIni) == in.file);
    return;
  }
  const std::string written = fuzz::readFile(kIni);
  FUZZ_CHECK(fuzz::ini::removedPart(in.file, written).find_first_of("\r\n") == std::string::npos);
  // No temporary file is left beside it.
  FUZZ_CHECK(!std::filesystem::exists(fuzz::folder() / (kIni + ".tmp~")));
  // Without a byte order mark the bytes tell the encoding. A write that replaced the only
  // bytes UTF-8 cannot have leaves a file that reads as UTF-8 from then on, which this
  // oracle does not speak.
  const auto stillCp932 = [] {
    return plat::decodeIniFile(fuzz::readFile(kIni)).encoding == plat::IniEncoding::Cp932;
  };
  if (!stillCp932()) return;
  FUZZ_CHECK(lumatap::IniRead(in.section, in.key, kMissing, path()) ==
             plat::fromCp932(fuzz::ini::expectedReadBack(value)));
  if (!sameAsSkin) FUZZ_CHECK(lumatap::IniRead("style", "skin", kMissing, path()) == skin);

  // Several keys in one change: each reads back, the last write of a key winning.
  FUZZ_CHECK(lumatap::iniWriteAll({{"window", "X", "-12"}, {in.section, in.key, in.value}}, path()));
  if (!stillCp932()) return;
  FUZZ_CHECK(lumatap::IniRead(in.section, in.key, kMissing, path()) ==
             plat::fromCp932(fuzz::ini::expectedReadBack(value)));
  const bool sameAsX = plat::readIniValue("[window]\r\nX=1", section, key).has_value();
  if (!sameAsX) FUZZ_CHECK(lumatap::IniRead("window", "X", kMissing, path()) == "-12");
}

// ---- The settings the program keeps --------------------------------------------------

Form1* g_form = nullptr;

void resetForm() {
  g_form->setFramed(true);
  g_form->placedTwips = {};
  g_form->move(0, 0, 160, 120);
}

void checkSettings(const Input& in) {
  if (in.file.empty()) return;  // without the file the program asks its first-run question
  putFile(in.file);
  lumatap::ReadScreenMetrics();
  resetForm();

  lumatap::ReadSettings(*g_form);
  const std::string skin = lumatap::SkinName, profile = lumatap::ProfileName;
  const bool frameless = lumatap::Frameless;
  const int left = g_form->left(), top = g_form->top();
  FUZZ_CHECK(!skin.empty() && !profile.empty());
  // The frame follows Frameless.
  FUZZ_CHECK(g_form->framed() == !frameless);

  lumatap::WriteSettings(*g_form);
  FUZZ_CHECK(plat::headless::shownBoxes().empty());  // nothing stops a writable file being saved
  const std::string saved = fuzz::readFile(kIni);

  // Read again: the names and the frame come back as they were, the position to the pixel
  // (the file holds whole pixels, a hand-edited one may hold fractions). A file without a
  // byte order mark is told UTF-8 or code page 932 by its bytes; when the bytes that told
  // were in a number the save rewrote, the next read may take it for the other.
  const bool sameGuess =
      plat::decodeIniFile(saved).encoding == plat::decodeIniFile(in.file).encoding;
  resetForm();
  lumatap::ReadSettings(*g_form);
  if (!sameGuess) return;
  FUZZ_CHECK(lumatap::SkinName == skin);
  FUZZ_CHECK(lumatap::ProfileName == profile);
  FUZZ_CHECK(lumatap::Frameless == frameless);
  FUZZ_CHECK(std::abs(g_form->left() - left) <= 1 && std::abs(g_form->top() - top) <= 1);
  // Saving what was just read changes nothing.
  lumatap::WriteSettings(*g_form);
  FUZZ_CHECK(fuzz::readFile(kIni) == saved);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::initialise();
  g_form = new Form1();  // lives as long as the process, as the program's window does
  g_form->load();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::freshRun();
  const Input in = fuzz::ini::split(data, size);
  checkReadWrite(in);
  checkSettings(in);
  return 0;
}
