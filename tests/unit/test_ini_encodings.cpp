// lumatap.ini saved by an editor as UTF-8 or UTF-16: read in the encoding it has and
// written back in it, while a file in code page 932 is handled byte for byte as always.
#include <optional>

#include "app/iniReadWrite.h"
#include "app/settings.h"
#include "display/form1.h"
#include "platform/ini.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

using plat::IniChars;
using plat::IniEncoding;

std::string sj(const std::string& utf8) { return plat::toCp932(utf8); }

// UTF-8 as UTF-16 code units, for building files by hand.
std::string utf16(const std::u16string& units, bool bigEndian) {
  std::string out;
  for (char16_t u : units) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

TEST(IniEncoding, TheFilesEncodingIsToldByItsByteOrderMarkOrByWhatItsBytesCanBe) {
  const std::string bomLe = "\xFF\xFE", bomBe = "\xFE\xFF", bom8 = "\xEF\xBB\xBF";
  struct Case {
    const char* what;
    std::string bytes;
    IniEncoding encoding;
    std::string text;  // UTF-8, or the bytes themselves for code page 932
    bool exact;
  } cases[] = {
      {"empty", "", IniEncoding::Cp932, "", true},
      {"ASCII", "[a]\r\nk=1\r\n", IniEncoding::Cp932, "[a]\r\nk=1\r\n", true},
      {"code page 932", sj("[key]\r\nprofile=矢印スタンダード\r\n"), IniEncoding::Cp932,
       sj("[key]\r\nprofile=矢印スタンダード\r\n"), true},
      {"code page 932 that is broken stays code page 932", "k=\x82", IniEncoding::Cp932, "k=\x82", true},
      {"UTF-8 with a mark", bom8 + "k=矢印", IniEncoding::Utf8Bom, "k=矢印", true},
      {"UTF-8 with a mark, broken inside", bom8 + "k=\xE3\x81", IniEncoding::Utf8Bom, "k=\xE3\x81", true},
      {"UTF-8 without a mark that code page 932 cannot be", "p=WASDスタンダード", IniEncoding::Utf8,
       "p=WASDスタンダード", true},
      // E3 82 B9 E3 82 BF are two kanji and two half-width katakana in code page 932 too.
      {"UTF-8 without a mark that passes as code page 932", "p=スタ", IniEncoding::Utf8, "p=スタ", true},
      {"UTF-8 without a mark, a skin and a profile", "skin=WASD黒ルコ\r\nprofile=東方弾幕風\r\n",
       IniEncoding::Utf8, "skin=WASD黒ルコ\r\nprofile=東方弾幕風\r\n", true},
      // ﾃｽ is C3 BD, which UTF-8 reads as ý, a letter code page 932 does not have.
      {"code page 932 that passes as UTF-8", sj("p=ﾃｽ"), IniEncoding::Cp932, sj("p=ﾃｽ"), true},
      {"neither UTF-8 nor code page 932", "p=\x80\xFF", IniEncoding::Cp932, "p=\x80\xFF", true},
      {"UTF-16 LE", bomLe + utf16(u"[key]\r\nprofile=東方弾幕風😀\r\n", false), IniEncoding::Utf16Le,
       "[key]\r\nprofile=東方弾幕風😀\r\n", true},
      {"UTF-16 BE", bomBe + utf16(u"k=ルコ", true), IniEncoding::Utf16Be, "k=ルコ", true},
      {"UTF-16 with a lone surrogate", bomLe + utf16(u"k=a", false) + std::string("\x00\xD8", 2) + utf16(u"b", false),
       IniEncoding::Utf16Le, "k=a\uFFFDb", false},
      {"UTF-16 with half a character at the end", bomLe + utf16(u"k=a", false) + "b",
       IniEncoding::Utf16Le, "k=a\uFFFD", false},
  };
  for (const Case& c : cases) {
    const plat::IniText t = plat::decodeIniFile(c.bytes);
    EXPECT_EQ(t.encoding, c.encoding) << c.what;
    EXPECT_EQ(t.text, c.text) << c.what;
    EXPECT_EQ(t.exact, c.exact) << c.what;
    if (c.exact) {
      EXPECT_EQ(plat::encodeIniFile(t.encoding, t.text), c.bytes) << c.what;
    }
  }
}

TEST(IniEncoding, UTF8TextIsReadByItsOwnCharacters) {
  struct Case {
    const char* what;
    std::string file, section, key;
    std::optional<std::string> value;
  } cases[] = {
      {"Japanese names and value", "[設定]\r\n名前 = 矢印スタンダード\r\n", "設定", "名前", "矢印スタンダード"},
      // In code page 932 the bytes of ゾ and ] would be taken for other characters.
      {"a ']' right after a character", "[ゾ]\r\np=1\r\n", "ゾ", "p", "1"},
      {"an '=' right after a character", "[k]\r\n字=v\r\n", "k", "字", "v"},
      {"full-width letters in other case", "[ＡＢＣ]\r\np=1\r\n", "ａｂｃ", "p", "1"},
      {"Greek letters in other case", "[ΑΩ]\r\np=1\r\n", "αω", "p", "1"},
      {"Cyrillic letters in other case", "[НОЯЁ]\r\np=1\r\n", "нояё", "p", "1"},
      {"other letters keep their case", "[É]\r\np=1\r\n", "é", "p", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::readIniValue(c.file, c.section, c.key, IniChars::Utf8), c.value) << c.what;
  }

  // Long values are cut where their code page 932 form would be: 254 bytes of it.
  std::string kanji, kana;
  for (int i = 0; i < 200; ++i) kanji += "字";
  for (int i = 0; i < 300; ++i) kana += "ｱ";  // half-width: one byte each in code page 932
  EXPECT_EQ(plat::readIniValue("[k]\r\np=" + kanji, "k", "p", IniChars::Utf8), kanji.substr(0, 127 * 3));
  EXPECT_EQ(plat::readIniValue("[k]\r\np=a" + kanji, "k", "p", IniChars::Utf8), "a" + kanji.substr(0, 126 * 3));
  EXPECT_EQ(plat::readIniValue("[k]\r\np=" + kana, "k", "p", IniChars::Utf8), kana.substr(0, 254 * 3));
}

TEST(IniEncoding, UTF8TextIsWrittenByItsOwnCharacters) {
  std::string file = "[ゾ]\r\n字=1\r\n";
  for (const char* v : {"WASD黒ルコ", "2", "ゾ]"}) {
    std::optional<std::string> next = plat::writeIniValue(file, "ゾ", "字", v, IniChars::Utf8);
    ASSERT_TRUE(next) << v;
    file = *next;
    EXPECT_EQ(plat::readIniValue(file, "ゾ", "字", IniChars::Utf8), v) << v;
  }
  EXPECT_EQ(file, "[ゾ]\r\n字=ゾ]\r\n");
  // A name that ends in a lead byte is nothing special in UTF-8.
  EXPECT_TRUE(plat::writeIniValue("", "a\x91", "k", "1", IniChars::Utf8));
}

class IniEncodingFileTest : public testing::ProgramFolderTest {
protected:
  std::string file() const { return programPath("\\lumatap.ini"); }
};

TEST_F(IniEncodingFileTest, EachEncodingIsReadAndWrittenBackInItself) {
  const std::string bomLe = "\xFF\xFE", bomBe = "\xFE\xFF", bom8 = "\xEF\xBB\xBF";
  const std::u16string before16 = u"; 手書き\r\n[window]\r\nX=10\r\n[key]\r\nprofile=東方弾幕風\r\n";
  const std::u16string after16 = u"; 手書き\r\n[window]\r\nX=20\r\n[key]\r\nprofile=矢印スタンダード\r\n";
  const std::string before8 = "; 手書き\r\n[window]\r\nX=10\r\n[key]\r\nprofile=東方弾幕風\r\n";
  const std::string after8 = "; 手書き\r\n[window]\r\nX=20\r\n[key]\r\nprofile=矢印スタンダード\r\n";
  struct Case {
    const char* what;
    std::string before, after;
  } cases[] = {
      {"code page 932", sj(before8), sj(after8)},
      {"UTF-8 with a mark", bom8 + before8, bom8 + after8},
      {"UTF-8 without a mark", before8, after8},
      {"UTF-16 LE", bomLe + utf16(before16, false), bomLe + utf16(after16, false)},
      {"UTF-16 BE", bomBe + utf16(before16, true), bomBe + utf16(after16, true)},
  };
  for (const Case& c : cases) {
    writeBytes("lumatap.ini", c.before);
    EXPECT_EQ(IniRead("window", "X", "", file()), "10") << c.what;
    EXPECT_EQ(IniRead("key", "profile", "", file()), "東方弾幕風") << c.what;
    // Writing what the file already holds leaves it alone.
    EXPECT_TRUE(iniWriteAll({{"window", "X", "10"}, {"key", "profile", "東方弾幕風"}}, file()));
    EXPECT_EQ(readBytes("lumatap.ini"), c.before) << c.what;
    EXPECT_TRUE(iniWriteAll({{"window", "X", "20"}, {"key", "profile", "矢印スタンダード"}}, file()));
    EXPECT_EQ(readBytes("lumatap.ini"), c.after) << c.what;
    EXPECT_EQ(IniRead("key", "profile", "", file()), "矢印スタンダード") << c.what;
    EXPECT_FALSE(exists("lumatap.ini.bak")) << c.what;
  }
}

TEST_F(IniEncodingFileTest, UTF16ThatCannotBeReadWholeIsKeptBesideTheNewFile) {
  const std::string bomLe = "\xFF\xFE";
  const std::string old = bomLe + utf16(u"[window]\r\nX=1\r\n;", false) + std::string("\x00\xDC", 2) +
                          utf16(u"\r\n", false) + "z";
  writeBytes("lumatap.ini", old);
  EXPECT_EQ(IniRead("window", "X", "", file()), "1");
  EXPECT_TRUE(IniWrite("window", "X", "1", file()));
  EXPECT_FALSE(exists("lumatap.ini.bak")) << "nothing is rewritten, so nothing needs keeping";
  EXPECT_TRUE(IniWrite("window", "X", "2", file()));
  EXPECT_EQ(readBytes("lumatap.ini.bak"), old);
  EXPECT_EQ(readBytes("lumatap.ini"), bomLe + utf16(u"[window]\r\nX=2\r\n;\uFFFD\r\n\uFFFD", false));

  // When the old file cannot be kept, it is not replaced.
  std::filesystem::remove(path("lumatap.ini.bak"));
  std::filesystem::create_directories(path("lumatap.ini.bak"));
  writeBytes("lumatap.ini", old);
  EXPECT_FALSE(IniWrite("window", "X", "3", file()));
  EXPECT_EQ(readBytes("lumatap.ini"), old);
}

TEST_F(IniEncodingFileTest, TheSettingsOfAUTF8FileComeBackAfterARun) {
  const std::string old = "\xEF\xBB\xBF[window]\r\nX=40\r\nY=30\r\nframe=0\r\n[style]\r\nskin=WASD黒ルコ\r\n"
                          "[key]\r\nprofile=東方弾幕風\r\n";
  writeBytes("lumatap.ini", old);
  TwipsX = TwipsY = 15;
  Form1 form;
  ReadSettings(form);
  EXPECT_EQ(std::make_pair(form.left(), form.top()), std::make_pair(40, 30));
  EXPECT_EQ(SkinName, "WASD黒ルコ");
  EXPECT_EQ(ProfileName, "東方弾幕風");
  Frameless = true;
  WriteSettings(form);
  std::string expected = old;
  expected.replace(expected.find("frame=0"), 7, "frame=1");
  EXPECT_EQ(readBytes("lumatap.ini"), expected) << "no second [window], no code page 932 inside";
}

}  // namespace
}  // namespace lumatap
