// The INI reader and writer on arbitrary bytes: what a read may give, a write followed by a
// read giving the value back, and every other key of the file surviving the write.
//
// Input: section NUL key NUL value NUL file, all as the file holds them (code page 932).
// This works on the bytes in memory, so it runs fast; fuzz_settings goes through the files.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini.h"
#include "tests/fuzz/fuzz_common.h"
#include "tests/fuzz/ini_oracle.h"

namespace {

using namespace fuzz::ini;

struct Probe {
  std::string section, key;
};

// The program's own keys and up to eight keys the file holds, each as a read would ask for
// it, so a write can be checked to leave every other key as it was.
std::vector<Probe> probesOf(const std::string& file) {
  std::vector<Probe> probes = {
      {"window", "X"}, {"window", "Y"}, {"window", "frame"}, {"style", "skin"}, {"key", "profile"}};
  std::string section;
  std::size_t pos = 0;
  while (pos < file.size() && probes.size() < 13) {
    std::size_t end = file.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = file.size();
    std::string line = trimmed(std::string_view(file).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string::npos && close > 0) section = trimmed(cutAtNul(line.substr(1, close - 1)));
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq != std::string::npos && !section.empty()) {
      probes.push_back({section, trimmed(cutAtNul(line.substr(0, eq)))});
    }
  }
  return probes;
}

// Whether a probe names the key written, by the reader's own matching: a file holding only
// the probe's key answers for the written name.
bool sameKey(const Probe& p, const Input& in) {
  std::string one = "[" + p.section + "]\r\n" + p.key + "=1\r\n";
  return plat::readIniValue(one, in.section, in.key).has_value();
}

std::string withoutCr(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out.push_back(s[i]);
  }
  return out;
}

void checkRead(const Input& in) {
  const std::optional<std::string> v = plat::readIniValue(in.file, in.section, in.key);
  if (v) {
    FUZZ_CHECK(v->size() <= plat::kIniValueLimit);
    FUZZ_CHECK(v->find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    FUZZ_CHECK(in.file.find(*v) != std::string::npos);  // a piece of the file, never made up
  }
  // Names are found whatever their case and whatever blanks stand around them, and CR LF
  // line ends read as LF ones do.
  FUZZ_CHECK(plat::readIniValue(in.file, swapAsciiCase(in.section), swapAsciiCase(in.key)) == v);
  FUZZ_CHECK(plat::readIniValue(in.file, " " + in.section + "\t", "\t" + in.key + " ") == v);
  FUZZ_CHECK(plat::readIniValue(withoutCr(in.file), in.section, in.key) == v);
}

void checkWrite(const Input& in) {
  const std::optional<std::string> written = plat::writeIniValue(in.file, in.section, in.key, in.value);
  FUZZ_CHECK(written.has_value() == writeAllowed(in));
  if (!written) return;

  FUZZ_CHECK(plat::readIniValue(*written, in.section, in.key) == expectedReadBack(in.value));
  // A write replaces the key's own line or adds lines: what it took away lies within a line.
  FUZZ_CHECK(removedPart(in.file, *written).find_first_of("\r\n") == std::string::npos);
  for (const Probe& p : probesOf(in.file)) {
    if (sameKey(p, in)) continue;
    FUZZ_CHECK(plat::readIniValue(*written, p.section, p.key) ==
               plat::readIniValue(in.file, p.section, p.key));
  }
  // Writing the same value again changes nothing.
  FUZZ_CHECK(plat::writeIniValue(*written, in.section, in.key, in.value) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Input in = split(data, size);
  checkRead(in);
  checkWrite(in);
  return 0;
}
