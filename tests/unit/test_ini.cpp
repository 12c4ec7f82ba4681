// lumatap.ini as the private-profile functions read and write it, over bytes and on disk.
#include <optional>

#include "app/iniReadWrite.h"
#include "platform/ini.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

using Value = std::optional<std::string>;

std::string sj(const std::string& utf8) { return plat::toCp932(utf8); }

TEST(IniRead, FindsValuesTheWayTheSettingsFileIsWritten) {
  struct Case {
    const char* what;
    std::string file, section, key;
    Value value;
  } cases[] = {
      {"plain", "[window]\r\nX=100\r\n", "window", "X", "100"},
      {"section and key in other case", "[WINDOW]\r\nx=5\r\n", "Window", "X", "5"},
      {"blanks around the key and value", "[window]\r\n \t X  =  12 \t\r\n", "window", "X", "12"},
      {"blanks around the asked names", "[window]\r\nX=1\r\n", " window ", "\tX ", "1"},
      {"blanks around the header", "  [window]  \r\nX=1\r\n", "window", "X", "1"},
      {"blanks inside the brackets", "[ window ]\r\nX=1\r\n", "window", "X", "1"},
      {"a header of blanks names no section", "[ ]\r\nX=1\r\n", " ", "X", std::nullopt},
      {"double quotes", "[k]\r\np=\"a b\"\r\n", "k", "p", "a b"},
      {"single quotes", "[k]\r\np='a b'\r\n", "k", "p", "a b"},
      {"quotes keep inner blanks", "[k]\r\np=\"  a  \"\r\n", "k", "p", "  a  "},
      {"only one pair of quotes", "[k]\r\np=\"\"a\"\"\r\n", "k", "p", "\"a\""},
      {"quotes that do not match stay", "[k]\r\np=\"a'\r\n", "k", "p", "\"a'"},
      {"a lone quote stays", "[k]\r\np=\"\r\n", "k", "p", "\""},
      {"two quotes are empty", "[k]\r\np=\"\"\r\n", "k", "p", ""},
      {"an empty value is a value", "[k]\r\np=\r\n", "k", "p", ""},
      {"'=' in the value", "[k]\r\np=a=b\r\n", "k", "p", "a=b"},
      {"a key without '=' has no value", "[k]\r\np\r\np=2\r\n", "k", "p", std::nullopt},
      {"the first key of a name wins", "[k]\r\np=1\r\np=2\r\n", "k", "p", "1"},
      {"only the first section of a name counts", "[k]\r\nq=1\r\n[K]\r\np=2\r\n", "k", "p",
       std::nullopt},
      {"a key in the next section", "[a]\r\nq=1\r\n[k]\r\np=2\r\n", "k", "p", "2"},
      {"keys above every section belong to none", "p=1\r\n[k]\r\n", "k", "p", std::nullopt},
      {"a comment line is not the key", "[k]\r\n;p=1\r\np=2\r\n", "k", "p", "2"},
      {"a header without ']' opens no section", "[k]\r\n[x\r\np=2\r\n", "k", "p", "2"},
      {"the name runs to the last ']'", "[a]b]\r\np=3\r\n", "a]b", "p", "3"},
      {"no line end after the last line", "[k]\r\np=last", "k", "p", "last"},
      {"lone CR line ends", "[a]\rq=1\r[k]\rp=2\r", "k", "p", "2"},
      {"lone LF line ends", "[a]\nq=1\n[k]\np=2\n", "k", "p", "2"},
      {"a NUL ends the value", std::string("[k]\r\np=ab\0cd\r\n", 15), "k", "p", "ab"},
      {"missing section", "[a]\r\np=1\r\n", "k", "p", std::nullopt},
      {"missing key", "[k]\r\nq=1\r\n", "k", "p", std::nullopt},
      {"empty file", "", "k", "p", std::nullopt},
      {"blank names find nothing", "[k]\r\np=1\r\n", " ", "p", std::nullopt},
      {"Japanese section, key and value", sj("[設定]\r\n名前 = 矢印スタンダード\r\n"), sj("設定"),
       sj("名前"), sj("矢印スタンダード")},
      {"full-width letters in other case", sj("[ＡＢＣ]\r\np=1\r\n"), sj("ａｂｃ"), "p", "1"},
      {"Greek letters in other case", sj("[Α]\r\np=1\r\n"), sj("α"), "p", "1"},
      {"Cyrillic letters on both sides of the gap in other case", sj("[НОЯЁ]\r\np=1\r\n"),
       sj("нояё"), "p", "1"},
      {"a second byte like 'A' is no letter", sj("[ア]\r\np=1\r\n"), sj("ヂ"), "p", std::nullopt},
      {"a second byte like ']' closes nothing", sj("[ゾ\r\np=1\r\n"), sj("ゾ"), "p", std::nullopt},
      {"a full-width blank is part of the value", sj("[k]\r\np=　題　\r\n"), "k", "p", sj("　題　")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::readIniValue(c.file, c.section, c.key), c.value) << c.what;
  }
}

TEST(IniRead, LongValuesAreCutTo254BytesWithoutSplittingACharacter) {
  const std::string a300(300, 'a');
  std::string kanji;
  for (int i = 0; i < 200; ++i) kanji += sj("字");
  struct Case {
    const char* what;
    std::string value, expected;
  } cases[] = {
      {"300 ASCII bytes", a300, std::string(254, 'a')},
      {"254 bytes stay whole", std::string(254, 'b'), std::string(254, 'b')},
      {"double-byte text at an even start", kanji, kanji.substr(0, 254)},
      {"one more byte in front would split the last character", "a" + kanji,
       "a" + kanji.substr(0, 252)},
      {"quotes come off before the cut", "\"" + std::string(254, 'c') + "\"", std::string(254, 'c')},
  };
  for (const Case& c : cases) {
    Value v = plat::readIniValue("[k]\r\np=" + c.value + "\r\n", "k", "p");
    ASSERT_TRUE(v.has_value()) << c.what;
    EXPECT_EQ(*v, c.expected) << c.what;
    EXPECT_LE(v->size(), plat::kIniValueLimit) << c.what;
  }
}

TEST(IniWrite, ChangesOnlyTheLineOfTheKey) {
  struct Case {
    const char* what;
    std::string file, section, key, value;
    Value expected;
  } cases[] = {
      {"a new file", "", "window", "X", "1", "[window]\r\nX=1\r\n"},
      {"replaced in place; comments, blank lines and spacing elsewhere stay",
       "; Lumatap\r\n[window]\r\nX = 5\r\n\r\n  Y =  2 \r\n[style]\r\nskin=a\r\n", "window", "X", "7",
       "; Lumatap\r\n[window]\r\nX=7\r\n\r\n  Y =  2 \r\n[style]\r\nskin=a\r\n"},
      {"the key keeps the file's spelling", "[WINDOW]\r\nx=5\r\n", "window", "X", "9",
       "[WINDOW]\r\nx=9\r\n"},
      {"the same value leaves the file alone", "[w]\r\n  X =  5  \r\n", "w", "X", "5",
       "[w]\r\n  X =  5  \r\n"},
      {"a new key goes after the section's last line, before its blank lines",
       "[window]\r\nX=1\r\n\r\n[style]\r\nskin=a\r\n", "window", "Y", "2",
       "[window]\r\nX=1\r\nY=2\r\n\r\n[style]\r\nskin=a\r\n"},
      {"a new key in a section that has none", "[a]\r\n[b]\r\n", "a", "k", "1",
       "[a]\r\nk=1\r\n[b]\r\n"},
      {"a new key after a last line without line end", "[key]\r\nprofile=a", "key", "x", "1",
       "[key]\r\nprofile=a\r\nx=1\r\n"},
      {"a new section after a last line without line end", "[a]\r\nk=1", "b", "j", "2",
       "[a]\r\nk=1\r\n[b]\r\nj=2\r\n"},
      {"a new section at the end", "[a]\r\nk=1\r\n\r\n", "b", "j", "2",
       "[a]\r\nk=1\r\n\r\n[b]\r\nj=2\r\n"},
      {"a replaced last line keeps having no line end", "[a]\r\nk=1", "a", "k", "2",
       "[a]\r\nk=2"},
      {"lone CR line ends stay", "[a]\rk=1\rj=2\r", "a", "j", "3", "[a]\rk=1\rj=3\r"},
      {"the first section of a name takes a new key", "[a]\r\nk=1\r\n[a]\r\nj=2\r\n", "a", "j", "5",
       "[a]\r\nk=1\r\nj=5\r\n[a]\r\nj=2\r\n"},
      {"a key line without '=' gets its value", "[a]\r\nk\r\n", "a", "k", "1", "[a]\r\nk=1\r\n"},
      {"blanks before the value are dropped", "", "a", "k", "  x ", "[a]\r\nk=x \r\n"},
      {"line breaks in the value become blanks", "", "a", "k", "x\r\ny", "[a]\r\nk=x  y\r\n"},
      {"asked names lose their blanks", "", " a ", " k ", "1", "[a]\r\nk=1\r\n"},
      {"Japanese text", "", sj("設定"), sj("名前"), sj("東方弾幕風"),
       sj("[設定]\r\n名前=東方弾幕風\r\n")},
      {"a blank key is refused", "[a]\r\n", "a", " ", "1", std::nullopt},
      {"a blank section is refused", "", "", "k", "1", std::nullopt},
      {"'=' in a key is refused", "", "a", "k=j", "1", std::nullopt},
      {"a line break in a section name is refused", "", "a\r\nb", "k", "1", std::nullopt},
      {"half a character at the end of a name is refused", "", "a\x91", "k", "1", std::nullopt},
      {"a key line that would read as a header is refused", "", "a", "[k", "v]", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::writeIniValue(c.file, c.section, c.key, c.value), c.expected) << c.what;
  }
}

TEST(IniWrite, WhatIsWrittenReadsBack) {
  const char* values[] = {"0", "-3", "WASD黒ルコ", "a=b", "'x", "末尾　", "x\"", ""};
  std::string file = "[window]\r\nX=1\r\n";
  for (const char* v : values) {
    Value next = plat::writeIniValue(file, "style", "skin", sj(v));
    ASSERT_TRUE(next.has_value()) << v;
    file = *next;
    EXPECT_EQ(plat::readIniValue(file, "STYLE", "Skin"), sj(v)) << v;
    EXPECT_EQ(plat::readIniValue(file, "window", "X"), "1") << v;
  }
}

using IniFileTest = testing::ProgramFolderTest;

TEST_F(IniFileTest, JapaneseValuesAreStoredAsCodePage932) {
  const std::string file = programPath("\\lumatap.ini");
  EXPECT_TRUE(IniWrite("key", "profile", "矢印スタンダード", file));
  EXPECT_EQ(readBytes("lumatap.ini"), sj("[key]\r\nprofile=矢印スタンダード\r\n"));
  EXPECT_EQ(IniRead("KEY", "PROFILE", "", file), "矢印スタンダード");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  const std::string file = programPath("\\lumatap.ini");
  EXPECT_EQ(IniRead("window", "X", "dflt", file), "dflt");
  writeBytes("lumatap.ini", "[window]\r\nX=\r\n");
  EXPECT_EQ(IniRead("window", "X", "dflt", file), "");
  EXPECT_EQ(IniRead("window", "Y", "dflt", file), "dflt");
  EXPECT_EQ(IniRead("style", "X", "", file), "");
}

TEST_F(IniFileTest, AFolderOfThatNameHoldsNothingAndIsNotReplaced) {
  std::filesystem::create_directories(path("lumatap.ini"));
  const std::string file = programPath("\\lumatap.ini");
  EXPECT_EQ(IniRead("window", "X", "", file), "");
  EXPECT_FALSE(IniWrite("window", "X", "1", file));
  EXPECT_TRUE(std::filesystem::is_directory(path("lumatap.ini")));
}

TEST_F(IniFileTest, SeveralKeysAreWrittenTogetherOrNotAtAll) {
  const std::string file = programPath("\\lumatap.ini");
  const std::string old = "[window]\r\nX=1\r\n";
  writeBytes("lumatap.ini", old);
  // The last entry cannot be written (a blank key): the ones before it must not land either.
  EXPECT_FALSE(iniWriteAll({{"window", "X", "5"}, {"window", "Y", "6"}, {"key", " ", "x"}}, file));
  EXPECT_EQ(readBytes("lumatap.ini"), old);
  EXPECT_TRUE(iniWriteAll({{"window", "X", "5"}, {"window", "Y", "6"}, {"key", "profile", "p"}}, file));
  EXPECT_EQ(readBytes("lumatap.ini"), "[window]\r\nX=5\r\nY=6\r\n[key]\r\nprofile=p\r\n");
}

}  // namespace
}  // namespace lumatap
