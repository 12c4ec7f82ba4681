// lumatap.ini: IniRead over arbitrary file bytes, IniWrite followed by IniRead, and the
// settings the program keeps there read, saved and read again.
//
// Input: section NUL key NUL value NUL file bytes. Section, key and value are UTF-8 as the
// program passes them; the file is what lies on the disk (code page 932 when it is sane).
// An input with fewer than three NULs is all file, probed with the program's own keys.
// An empty file part means there is no lumatap.ini at all.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/iniReadWrite.h"
#include "display/form1.h"
#include "platform/ini.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using lumatap::Form1;

const std::string kIni = "lumatap.ini";
// IniRead's default when nothing is found; no value read from a line can hold a line end.
const std::string kMissing = "\n(missing)";

struct Input {
  std::string section, key, value;
  std::string file;
};

Input split(const std::uint8_t* data, std::size_t size) {
  std::string all(reinterpret_cast<const char*>(data), size);
  Input in;
  std::size_t a = all.find('\0');
  std::size_t b = a == std::string::npos ? a : all.find('\0', a + 1);
  std::size_t c = b == std::string::npos ? b : all.find('\0', b + 1);
  if (c == std::string::npos) {
    static const char* const keys[][2] = {
        {"window", "X"}, {"window", "Y"}, {"window", "frame"}, {"style", "skin"}, {"key", "profile"}};
    in.section = keys[size % 5][0];
    in.key = keys[size % 5][1];
    in.value = "7";
    in.file = all;
    return in;
  }
  in.section = all.substr(0, a);
  in.key = all.substr(a + 1, b - a - 1);
  in.value = all.substr(b + 1, c - b - 1);
  in.file = all.substr(c + 1);
  return in;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == 0x1A;
}
bool isLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

std::string cutAtNul(std::string s) { return s.substr(0, s.find('\0')); }
std::string trimmed(std::string s) {
  while (!s.empty() && isBlank(s.back())) s.pop_back();
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  return s.substr(i);
}

// What a read gives back after `utf8` was written, worked out from what the file format
// allows: the writer drops leading blanks and turns line breaks into blanks; the reader
// drops the blanks around the value, one pair of quotes, and keeps 254 bytes without
// splitting a double-byte character.
std::string expectedReadBack(const std::string& utf8) {
  std::string v = cutAtNul(plat::toCp932(utf8));
  std::size_t i = 0;
  while (i < v.size() && isBlank(v[i])) ++i;
  v = v.substr(i);
  for (char& ch : v) {
    if (ch == '\r' || ch == '\n') ch = ' ';
  }
  v = trimmed(v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  std::size_t cut = 0;
  while (cut < v.size()) {
    std::size_t len = isLead(static_cast<unsigned char>(v[cut])) && cut + 1 < v.size() ? 2 : 1;
    if (cut + len > plat::kIniValueLimit) break;
    cut += len;
  }
  return plat::fromCp932(v.substr(0, cut));
}

// A name the writer can put in the file so that a read finds it again.
bool usableName(const std::string& utf8, bool isKey) {
  std::string n = trimmed(cutAtNul(plat::toCp932(utf8)));
  if (n.empty()) return false;
  for (char ch : n) {
    if (ch == '\r' || ch == '\n' || (isKey && ch == '=')) return false;
  }
  return true;
}

// A key line that starts with '[' and holds a ']' (not the second byte of a character)
// would read back as a section header, so the writer refuses it.
bool looksLikeHeader(const std::string& keyUtf8, const std::string& valueUtf8) {
  std::string k = trimmed(cutAtNul(plat::toCp932(keyUtf8)));
  if (k.empty() || k.front() != '[') return false;
  std::string v = cutAtNul(plat::toCp932(valueUtf8));
  std::string line = k + "=" + v;
  for (std::size_t i = 1; i < line.size();) {
    if (line[i] == ']') return true;
    i += isLead(static_cast<unsigned char>(line[i])) && i + 1 < line.size() ? 2 : 1;
  }
  return false;
}

std::string swapAsciiCase(std::string s) {
  for (char& ch : s) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    else if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return s;
}

struct Probe {
  std::string section, key;  // UTF-8
};

// The program's own keys and up to eight that the file itself holds, so a write can be
// checked to leave every other key as it was.
std::vector<Probe> probesOf(const std::string& file) {
  std::vector<Probe> probes = {
      {"window", "X"}, {"window", "Y"}, {"window", "frame"}, {"style", "skin"}, {"key", "profile"}};
  std::string section;
  std::size_t pos = 0;
  while (pos < file.size() && probes.size() < 13) {
    std::size_t end = file.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = file.size();
    std::string line = trimmed(file.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string::npos && close > 0) section = line.substr(1, close - 1);
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq != std::string::npos && !section.empty()) {
      // As a query: a name ends at a NUL, and the blanks around it do not count.
      probes.push_back({plat::fromCp932(trimmed(cutAtNul(section))),
                        plat::fromCp932(trimmed(cutAtNul(line.substr(0, eq))))});
    }
  }
  return probes;
}

// Whether a probe names the same key as the one written, by the reader's own matching:
// a file holding only the probe's key answers for the written name.
bool sameKey(const Probe& p, const std::string& section, const std::string& key) {
  std::string one = "[" + plat::toCp932(p.section) + "]\r\n" + plat::toCp932(p.key) + "=1\r\n";
  return plat::readIniValue(one, plat::toCp932(section), plat::toCp932(key)).has_value();
}

std::string path() { return lumatap::ProgramPath("\\" + kIni); }

void putFile(const std::string& bytes) {
  if (bytes.empty()) {
    fuzz::removeFile(kIni);
  } else {
    fuzz::writeFile(kIni, bytes);
  }
}

bool fileExists() { return std::filesystem::exists(fuzz::folder() / kIni); }

// ---- The value reader on the bytes -------------------------------------------------

void checkRead(const Input& in) {
  const std::string section = plat::toCp932(in.section), key = plat::toCp932(in.key);
  std::optional<std::string> v = plat::readIniValue(in.file, section, key);
  if (v) {
    FUZZ_CHECK(v->size() <= plat::kIniValueLimit);
    FUZZ_CHECK(v->find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    FUZZ_CHECK(in.file.find(*v) != std::string::npos);  // a piece of the file, never made up
  }
  const std::string got = lumatap::IniRead(in.section, in.key, kMissing, path());
  FUZZ_CHECK(got == (v ? plat::fromCp932(*v) : kMissing));
  // Names are found whatever their case and whatever blanks stand around them.
  FUZZ_CHECK(lumatap::IniRead(swapAsciiCase(in.section), swapAsciiCase(in.key), kMissing, path()) == got);
  FUZZ_CHECK(lumatap::IniRead(" " + in.section + "\t", "\t" + in.key + " ", kMissing, path()) == got);
}

// ---- Write, then read ----------------------------------------------------------------

void checkWrite(const Input& in) {
  putFile(in.file);
  const std::vector<Probe> probes = probesOf(in.file);
  std::vector<std::string> before;
  for (const Probe& p : probes) before.push_back(lumatap::IniRead(p.section, p.key, kMissing, path()));

  const bool ok = lumatap::IniWrite(in.section, in.key, in.value, path());
  FUZZ_CHECK(ok == (usableName(in.section, false) && usableName(in.key, true) &&
                    !looksLikeHeader(in.key, in.value)));
  if (!ok) {
    // A refused write leaves the file exactly as it was, or absent.
    FUZZ_CHECK(fileExists() == !in.file.empty());
    FUZZ_CHECK(fuzz::readFile(kIni) == in.file);
    return;
  }
  const std::string written = fuzz::readFile(kIni);
  FUZZ_CHECK(lumatap::IniRead(in.section, in.key, kMissing, path()) == expectedReadBack(in.value));
  // A write replaces the key's own line or adds lines; what it took away from the old file
  // lies within one line.
  std::size_t head = 0, tail = 0;
  while (head < in.file.size() && head < written.size() && in.file[head] == written[head]) ++head;
  while (tail < in.file.size() - head && tail < written.size() - head &&
         in.file[in.file.size() - 1 - tail] == written[written.size() - 1 - tail]) {
    ++tail;
  }
  const std::string removed = in.file.substr(head, in.file.size() - head - tail);
  FUZZ_CHECK(removed.find_first_of("\r\n") == std::string::npos);
  for (std::size_t i = 0; i < probes.size(); ++i) {
    if (sameKey(probes[i], in.section, in.key)) continue;
    FUZZ_CHECK(lumatap::IniRead(probes[i].section, probes[i].key, kMissing, path()) == before[i]);
  }
  // Writing the same value again changes nothing.
  FUZZ_CHECK(lumatap::IniWrite(in.section, in.key, in.value, path()));
  FUZZ_CHECK(fuzz::readFile(kIni) == written);
}

// ---- The settings the program keeps --------------------------------------------------

Form1* g_form = nullptr;
long g_formStyle = 0;

void checkSettings(const Input& in) {
  if (in.file.empty()) return;  // without the file the program asks its first-run question
  putFile(in.file);
  lumatap::ReadScreenMetrics();
  plat::SetWindowLongA(*g_form, plat::kGwlStyle, g_formStyle);
  g_form->placedTwips = {};
  g_form->move(0, 0, 160, 120);

  lumatap::ReadSettings();
  const std::string skin = lumatap::SkinName, profile = lumatap::ProfileName;
  const bool frameless = lumatap::Frameless;
  const int left = g_form->left(), top = g_form->top();
  FUZZ_CHECK(!skin.empty() && !profile.empty());
  // The frame bits follow Frameless.
  FUZZ_CHECK(((plat::GetWindowLongA(*g_form, plat::kGwlStyle) ^ g_formStyle) != 0) == frameless);

  lumatap::WriteSettings();
  FUZZ_CHECK(plat::headless::shownBoxes().empty());  // nothing stops a writable file being saved
  const std::string saved = fuzz::readFile(kIni);

  // Read again: the names and the frame come back as they were, the position to the pixel.
  plat::SetWindowLongA(*g_form, plat::kGwlStyle, g_formStyle);
  g_form->placedTwips = {};
  lumatap::ReadSettings();
  FUZZ_CHECK(lumatap::SkinName == skin);
  FUZZ_CHECK(lumatap::ProfileName == profile);
  FUZZ_CHECK(lumatap::Frameless == frameless);
  FUZZ_CHECK(std::abs(g_form->left() - left) <= 1 && std::abs(g_form->top() - top) <= 1);
  // Saving what was just read changes nothing.
  lumatap::WriteSettings();
  FUZZ_CHECK(fuzz::readFile(kIni) == saved);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::initialise();
  g_form = new Form1();  // lives as long as the process, as the program's window does
  g_form->load();
  g_formStyle = plat::GetWindowLongA(*g_form, plat::kGwlStyle);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::freshRun();
  const Input in = split(data, size);
  putFile(in.file);
  checkRead(in);
  checkWrite(in);
  checkSettings(in);
  return 0;
}
