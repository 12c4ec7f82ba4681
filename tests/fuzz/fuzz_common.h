#pragma once
// What every fuzz target shares: one program folder per process, the backend and the
// shared state put back before each input, and a check that reports what broke.
//
// The readers work on files in the program folder, so each input is written there as the
// file the program reads; nothing in the tree or the user's folders is touched.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "state/module1.h"
#include "platform/headless/headless.h"
#include "platform/system.h"

#ifndef LUMATAP_SOURCE_DIR
#error "LUMATAP_SOURCE_DIR must name the source tree"
#endif

namespace fuzz {

namespace fs = std::filesystem;

// The program folder of this process; created once, removed when the process ends normally.
// Every save fsyncs, so the folder goes in memory (/dev/shm) where there is one: on a disk
// the syncs would cost more than the code under test.
inline const fs::path& folder() {
  // Never destroyed: the handler that removes the folder at exit runs after static objects
  // made later than it are gone.
  static const fs::path* const dir = [] {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string tmpl = (base / "lumatap-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    auto* made = new fs::path(tmpl);
    std::atexit([] { std::error_code ignored; fs::remove_all(folder(), ignored); });
    return made;
  }();
  return *dir;
}

// The headless backend pointed at the folder; call from LLVMFuzzerInitialize.
inline void initialise() {
  plat::headless::reset();
  plat::headless::setProgramFolder(folder().string());
}

// Before each input: no scripted answers or records left from the last one, and the
// shared tables as the program starts them.
inline void freshRun() {
  plat::headless::reset();
  plat::headless::setProgramFolder(folder().string());
  lumatap::resetSharedState();
}

inline void writeFile(const std::string& name, std::string_view bytes) {
  fs::path p = folder() / name;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", p.c_str());
    std::abort();
  }
}

inline std::string readFile(const std::string& name) {
  std::ifstream in(folder() / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void removeFile(const std::string& name) {
  std::error_code ec;
  fs::remove_all(folder() / name, ec);
}

// A file of the source tree (the shipped assets).
inline std::string sourceFile(const std::string& relative) {
  std::ifstream in(fs::path(LUMATAP_SOURCE_DIR) / relative, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "missing %s\n", relative.c_str());
    std::abort();
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A broken property: say which, then stop so libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what, int line) {
  std::fprintf(stderr, "\n*** property broken (line %d): %s\n", line, what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(cond)                               \
  do {                                                 \
    if (!(cond)) ::fuzz::fail(#cond, __LINE__);        \
  } while (0)
