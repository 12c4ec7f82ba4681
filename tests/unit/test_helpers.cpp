// The small helpers every data file relies on: splitting lines, reading numbers, paths.
#include <cmath>

#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

using Pieces = std::vector<std::string>;

TEST(StrSplit, CountsPiecesLikeTheDataFilesNeed) {
  struct Case {
    std::string text, delim;
    int count;
    Pieces pieces;
  } cases[] = {
      {"a\tb\t", "\t", 3, {"a", "b", ""}},
      {"a\tb", "\t", 2, {"a", "b"}},
      {"\t", "\t", 2, {"", ""}},
      {"\t\t", "\t", 3, {"", "", ""}},
      {"abc", "\t", 0, {}},
      {"3:2:9", ":", 3, {"3", "2", "9"}},
      {"2:1/", "/", 2, {"2:1", ""}},
      {"a::b", "::", 2, {"a", "b"}},
      {"abc", "", 1, {"abc"}},
  };
  for (const Case& c : cases) {
    Pieces p = {"stale"};
    EXPECT_EQ(StrSplit(c.text, c.delim, p), c.count) << c.text;
    EXPECT_EQ(p, c.pieces) << c.text;
  }
}

TEST(StrSplit, EmptyTextLeavesThePiecesAsTheyWere) {
  Pieces p = {"x", "y"};
  EXPECT_EQ(StrSplit("", "\t", p), 0);
  EXPECT_EQ(p, (Pieces{"x", "y"}));
}

TEST(StrSplit, TextComparisonIgnoresCaseOfTheDelimiter) {
  Pieces p;
  EXPECT_EQ(StrSplit("aXbxc", "x", p, Compare::Text), 3);
  EXPECT_EQ(p, (Pieces{"a", "b", "c"}));
  EXPECT_EQ(StrSplit("aXbxc", "x", p, Compare::Binary), 2);
}

TEST(readNumber, ReadsTheLongestLeadingNumber) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"65", 65},         {"  6 5 ", 65},    {"\t1\n2", 12},     {"-0.5", -0.5},
      {"65.9", 65.9},     {"+7", 7},         {"1e3", 1000},      {"2.5E-1", 0.25},
      {"1e", 1},          {"1e+", 1},        {"3:2", 3},         {"12abc", 12},
      {"abc", 0},         {"", 0},           {"-", 0},           {".5", 0.5},
      {"&H1F", 31},       {"&hff", 255},     {"&HFFFF", -1},     {"&H10000", 65536},
      {"&O17", 15},       {"&o777", 511},    {"&X1", 0},         {"1.2.3", 1.2},
      {"1,5", 1},         {"- 5", -5},       {"\r5", 0},         {"1d2", 100},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(readNumber(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(wholeNumber, RoundsTowardMinusInfinityWithin16Bits) {
  EXPECT_EQ(wholeNumber("2.7"), 2);
  EXPECT_EQ(wholeNumber("-0.5"), -1);
  EXPECT_EQ(wholeNumber("65.9"), 65);
  EXPECT_EQ(wholeNumber("32767"), 32767);
  EXPECT_EQ(wholeNumber("-32768"), -32768);
  EXPECT_EQ(wholeNumber("32767.9"), 32767);
  EXPECT_FALSE(wholeNumber("32768").has_value());
  EXPECT_FALSE(wholeNumber("-32768.5").has_value());
  EXPECT_FALSE(wholeNumber("1e400").has_value());
  EXPECT_EQ(wholeNumber("junk"), 0);
}

TEST(roundHalfEven, SendsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(roundHalfEven(0.5), 0);
  EXPECT_EQ(roundHalfEven(1.5), 2);
  EXPECT_EQ(roundHalfEven(2.5), 2);
  EXPECT_EQ(roundHalfEven(-2.5), -2);
  EXPECT_EQ(roundHalfEven(2.6), 3);
}

using CheckPathTest = testing::ProgramFolderTest;

TEST_F(CheckPathTest, TellsFilesFoldersAndAbsence) {
  writeBytes("file.txt", "x");
  std::filesystem::create_directories(path("folder"));
  EXPECT_EQ(CheckPath(programPath("\\file.txt")), 1);
  EXPECT_EQ(CheckPath(programPath("\\folder")), 0);
  EXPECT_EQ(CheckPath(programPath("\\missing")), -1);
  EXPECT_EQ(CheckPath(""), -1);
}

TEST(ScreenMetrics, TwipsAreRoundedAndFrameAllowancesRead) {
  plat::headless::reset();
  auto& m = plat::headless::metrics();
  m.twipsPerPixelX = 1440.0 / 96;   // 15
  m.twipsPerPixelY = 1440.0 / 120;  // 12
  m.captionHeight = 19;
  ReadScreenMetrics();
  EXPECT_EQ(TwipsX, 15);
  EXPECT_EQ(TwipsY, 12);
  EXPECT_EQ(CaptionHeight, 19);
  m.twipsPerPixelX = 1440.0 / 144;  // 10
  m.twipsPerPixelY = 12.5;          // halves go to the even neighbour
  ReadScreenMetrics();
  EXPECT_EQ(TwipsX, 10);
  EXPECT_EQ(TwipsY, 12);
}

}  // namespace
}  // namespace lumatap
