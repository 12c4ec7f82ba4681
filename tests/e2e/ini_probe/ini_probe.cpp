// Test-only Windows program: reads and writes INI files either through the system's
// private-profile functions or through Lumatap's own IniRead / IniWrite, so the two can be
// compared byte for byte under Wine with code page 932.
//
//   ini_probe.exe api|own <script> <results>
//
// Each script line is a command whose words are hex-encoded bytes (code page 932 for
// sections, keys and values; the file path is plain ASCII):
//   R <path> <section> <key>           one results line: the value read, hex-encoded
//   W <path> <section> <key> <value>   one results line: "ok" or "fail"
// Hex keeps every byte intact through the command line and the console, whatever the
// code pages in between.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/iniReadWrite.h"
#include "platform/system.h"

namespace {

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string toHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// A hex word; "-" stands for the empty string, which a command line cannot carry as a word.
std::string word(std::istringstream& in) {
  std::string w;
  in >> w;
  return w == "-" ? std::string() : fromHex(w);
}

std::string readWithApi(const std::string& path, const std::string& section, const std::string& key) {
  // As the program's IniRead does: a 255-byte buffer, read up to its first NUL.
  char buffer[255];
  std::memset(buffer, 0, sizeof buffer);
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, path.c_str());
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

bool writeWithApi(const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != 0;
}

std::string readOwn(const std::string& path, const std::string& section, const std::string& key) {
  return plat::toCp932(
      lumatap::IniRead(plat::fromCp932(section), plat::fromCp932(key), "", path));
}

bool writeOwn(const std::string& path, const std::string& section, const std::string& key,
              const std::string& value) {
  return lumatap::IniWrite(plat::fromCp932(section), plat::fromCp932(key), plat::fromCp932(value),
                           path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "api") != 0 && std::strcmp(argv[1], "own") != 0)) {
    std::fprintf(stderr, "usage: ini_probe api|own <script> <results>\n");
    return 2;
  }
  const bool api = std::strcmp(argv[1], "api") == 0;
  std::ifstream script(argv[2], std::ios::binary);
  std::ofstream results(argv[3], std::ios::binary);
  if (!script || !results) return 3;
  std::string line;
  while (std::getline(script, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd == "R") {
      std::string path = word(in), section = word(in), key = word(in);
      results << toHex(api ? readWithApi(path, section, key) : readOwn(path, section, key)) << "\n";
    } else if (cmd == "W") {
      std::string path = word(in), section = word(in), key = word(in), value = word(in);
      bool ok = api ? writeWithApi(path, section, key, value) : writeOwn(path, section, key, value);
      results << (ok ? "ok" : "fail") << "\n";
    } else if (!cmd.empty()) {
      results << "?\n";
    }
  }
  return 0;
}
