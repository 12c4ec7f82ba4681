#pragma once
// A fresh program folder and a fresh headless backend for each test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "state/module1.h"
#include "platform/headless/headless.h"
#include "platform/system.h"

namespace lumatap::testing {

class ProgramFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) if (c == '/') c = '_';
    dir_ = fs::temp_directory_path() / ("lumatap-test-" + std::to_string(::getpid())) / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    plat::headless::reset();
    plat::headless::setProgramFolder(dir_.string());
    resetSharedState();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A path inside the program folder.
  std::filesystem::path path(const std::string& name) const { return dir_ / name; }
  // Writes raw bytes (already CP932 where it matters).
  void writeBytes(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(path(name).parent_path());
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  // Writes UTF-8 text as the program's files are stored: CP932.
  void writeText(const std::string& name, const std::string& utf8) {
    writeBytes(name, plat::toCp932(utf8));
  }
  std::string readBytes(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string readText(const std::string& name) const { return plat::fromCp932(readBytes(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

  std::filesystem::path dir_;
};

}  // namespace lumatap::testing
