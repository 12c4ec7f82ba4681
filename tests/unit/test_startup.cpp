// Starting and ending the program: the first-run question, the load without data files,
// the end sequence that saves, the single instance and the missing keylist.dat.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "app/iniReadWrite.h"
#include "app/startup.h"
#include "platform/hook.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

namespace fs = std::filesystem;
using plat::headless::shownBoxes;

class StartupTest : public testing::ProgramFolderTest {
protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    // What the installation brings: keylist.dat and the skins; no data file of the user's.
    const fs::path assets = fs::path(LUMATAP_SOURCE_DIR) / "assets";
    fs::copy(assets / "keylist.dat", path("keylist.dat"));
    fs::copy(assets / "skin", path("skin"), fs::copy_options::recursive);
  }
  void TearDown() override {
    program.reset();
    ProgramFolderTest::TearDown();
  }

  // What Main does after the single-instance test, with a fresh shared state as at a start.
  void start() {
    program.reset();
    resetSharedState();
    program = std::make_unique<Program>();
    program->form.load();
    program->Form_Load();
  }
  std::string setting(const char* section, const char* key) {
    return IniRead(section, key, "(missing)", programPath("\\lumatap.ini"));
  }
  bool captionShown() const { return program->form.framed(); }

  std::unique_ptr<Program> program;
};

TEST_F(StartupTest, FirstStartAsksOnceAndTheAnswerChoosesTheLook) {
  struct Case {
    plat::MsgAnswer answer;
    std::string skin;
    bool frameless;
  } cases[] = {
      {plat::MsgAnswer::Yes, "WASD黒ルコ", true},
      {plat::MsgAnswer::No, "default", false},
  };
  for (const Case& c : cases) {
    fs::remove(path("lumatap.ini"));
    plat::headless::reset();
    plat::headless::queueAnswer(c.answer);
    start();

    ASSERT_EQ(shownBoxes().size(), 1u) << c.skin;
    const plat::headless::ShownBox& box = shownBoxes()[0];
    EXPECT_EQ(box.text, "ルコちゃんのオススメ設定にしますか？（初回のみ）");
    EXPECT_EQ(box.title, "ダウンロードありがとうございます！");
    EXPECT_EQ(box.buttons, plat::MsgButtons::YesNo);
    EXPECT_EQ(box.icon, plat::MsgIcon::Question);
    EXPECT_EQ(SkinName, c.skin);
    EXPECT_EQ(ProfileName, "WASDスタンダード");
    EXPECT_EQ(Frameless, c.frameless);
    EXPECT_EQ(captionShown(), !c.frameless);
    EXPECT_FALSE(exists("lumatap.ini")) << "nothing is written before the end";

    program->mnuEnd_Click();
    EXPECT_EQ(setting("style", "skin"), c.skin);
    EXPECT_EQ(setting("key", "profile"), "WASDスタンダード");
    EXPECT_EQ(setting("window", "frame"), c.frameless ? "1" : "0");

    // The next start finds the settings: no question, the same look.
    start();
    EXPECT_EQ(shownBoxes().size(), 1u) << c.skin;
    EXPECT_EQ(SkinName, c.skin);
    EXPECT_EQ(Frameless, c.frameless);
    EXPECT_EQ(captionShown(), !c.frameless);
  }
}

TEST_F(StartupTest, WithoutANormalEndTheQuestionComesAgain) {
  plat::headless::queueAnswer(plat::MsgAnswer::Yes);
  start();
  program.reset();  // the process was killed: no end sequence ran
  start();
  ASSERT_EQ(shownBoxes().size(), 2u);
  EXPECT_EQ(shownBoxes()[1].title, "ダウンロードありがとうございます！");
  EXPECT_FALSE(exists("lumatap.ini"));
}

TEST_F(StartupTest, LoadRunsToTheEndWithoutAnyDataFile) {
  start();
  EXPECT_TRUE(program->form.visible());
  EXPECT_TRUE(program->form.topmost());
  EXPECT_EQ(plat::headless::hookedWindow(), &program->form);
  EXPECT_EQ(readBytes("setting.dat"), plat::toCp932(Form1::TxtSetting));
  EXPECT_EQ(CurProfile, 0);
  EXPECT_EQ(CurCols, 3);
  EXPECT_EQ(CurRows, 2);
  EXPECT_EQ(ProfKeys[0][0], 16) << "the built-in profiles find their keys in keylist.dat";
}

TEST_F(StartupTest, WithoutTheHookLibraryTheUserIsToldOnceAndEverythingElseWorks) {
  writeBytes("lumatap.ini", "[window]\r\nX=0\r\n");
  plat::headless::setHookLibraryMissing(true);
  start();
  ASSERT_EQ(shownBoxes().size(), 1u);
  const plat::headless::ShownBox& box = shownBoxes()[0];
  EXPECT_NE(box.text.find("キーを表示できません"), std::string::npos) << box.text;
  EXPECT_NE(box.text.find(plat::hookLibraryPath()), std::string::npos) << "names the file it looked for";
  EXPECT_EQ(box.icon, plat::MsgIcon::Exclamation);
  EXPECT_EQ(box.buttons, plat::MsgButtons::Ok);
  // The load went on: the window, the grid and the menu are there.
  EXPECT_TRUE(program->form.visible());
  EXPECT_EQ(CurCols, 3);
  EXPECT_EQ(plat::headless::hookedWindow(), nullptr);

  plat::headless::setHookLibraryMissing(false);
  start();
  EXPECT_EQ(shownBoxes().size(), 1u) << "with the library there, no further message";
}

TEST_F(StartupTest, TheGridShownIsThatOfTheProfileNamedInTheSettings) {
  struct Case {
    std::string profile;
    int current, cols, rows;
  } cases[] = {
      {"東方弾幕風", 2, 4, 2},
      {"OSU！用ZXキー", 3, 2, 1},
      {"消えたプロファイル", 0, 3, 2},
  };
  for (const Case& c : cases) {
    writeText("lumatap.ini", "[key]\r\nprofile=" + c.profile + "\r\n");
    start();
    EXPECT_EQ(CurProfile, c.current) << c.profile;
    EXPECT_EQ(CurCols, c.cols) << c.profile;
    EXPECT_EQ(CurRows, c.rows) << c.profile;
    EXPECT_EQ(ProfileName, c.profile) << "an unmatched title is kept for the next start";
  }
}

TEST_F(StartupTest, AFolderNamedLikeTheSettingsFileMeansNoQuestionAndTheDefaults) {
  fs::create_directories(path("lumatap.ini"));
  start();
  EXPECT_TRUE(shownBoxes().empty());
  EXPECT_EQ(SkinName, "default");
  EXPECT_EQ(ProfileName, "WASDスタンダード");
  EXPECT_FALSE(Frameless);
  EXPECT_TRUE(program->form.visible());
}

TEST_F(StartupTest, AnEmptyProfileFileLeavesTheProgramUsable) {
  writeBytes("setting.dat", "");
  writeText("lumatap.ini", "[key]\r\nprofile=矢印スタンダード\r\n");
  start();
  EXPECT_TRUE(program->form.visible());
  EXPECT_EQ(CurProfile, 1);
  EXPECT_EQ(CurCols, 3);
  EXPECT_EQ(CurRows, 2);
  EXPECT_EQ(readBytes("setting.dat"), "");
  program->mnuEnd_Click();
  EXPECT_EQ(readBytes("setting.dat"), plat::toCp932(Form1::TxtSetting));
}

TEST_F(StartupTest, EveryWayOfClosingSavesTheSameFilesOnce) {
  struct Case {
    const char* how;
    void (*close)(Program&);
  } cases[] = {
      {"the End menu item", [](Program& p) { p.mnuEnd_Click(); }},
      {"the close box", [](Program& p) { p.form.userCloseBox(); }},
      {"a close request of the system", [](Program& p) { p.form.requestClose(); }},
  };
  std::string firstIni, firstProfiles;
  for (const Case& c : cases) {
    fs::remove(path("lumatap.ini"));
    fs::remove(path("setting.dat"));
    plat::headless::reset();
    start();
    program->form.userMoved(123, 45);
    ProfTitles[1] = "改名";
    c.close(*program);
    EXPECT_FALSE(program->form.loaded()) << c.how;
    EXPECT_FALSE(plat::headless::hookInstalled()) << c.how;
    EXPECT_TRUE(plat::headless::messageLoopQuit()) << c.how;
    EXPECT_EQ(setting("window", "X"), "123") << c.how;
    EXPECT_EQ(setting("window", "Y"), "45") << c.how;
    if (firstIni.empty()) {
      firstIni = readBytes("lumatap.ini");
      firstProfiles = readBytes("setting.dat");
      EXPECT_NE(firstProfiles.find(plat::toCp932("改名")), std::string::npos);
    } else {
      EXPECT_EQ(readBytes("lumatap.ini"), firstIni) << c.how;
      EXPECT_EQ(readBytes("setting.dat"), firstProfiles) << c.how;
    }
  }
}

TEST_F(StartupTest, FilesThatCannotBeSavedAreNamedAndTheProgramStillEnds) {
  writeText("lumatap.ini", "[window]\r\nX=5\r\n");
  start();
  // Neither file can be put in place.
  fs::create_directories(path("lumatap.ini.tmp~"));
  fs::create_directories(path("setting.dat.tmp~"));
  const std::string oldProfiles = readBytes("setting.dat");
  program->form.requestClose();
  ASSERT_EQ(shownBoxes().size(), 2u) << "one message per file, though the close asks twice";
  EXPECT_EQ(shownBoxes()[0].text, "ファイルを保存できませんでした。\r\n" + programPath("\\lumatap.ini"));
  EXPECT_EQ(shownBoxes()[1].text, "ファイルを保存できませんでした。\r\n" + programPath("\\setting.dat"));
  EXPECT_FALSE(program->form.loaded());
  EXPECT_TRUE(plat::headless::messageLoopQuit());
  EXPECT_EQ(readText("lumatap.ini"), "[window]\r\nX=5\r\n");
  EXPECT_EQ(readBytes("setting.dat"), oldProfiles);
}

TEST_F(StartupTest, ASecondCopyEndsSilentlyAndTouchesNothing) {
  plat::headless::setAnotherInstance(true);
  EXPECT_EQ(Main(), 0);
  EXPECT_TRUE(shownBoxes().empty());
  EXPECT_TRUE(plat::loadedWindows().empty());
  EXPECT_FALSE(exists("lumatap.ini"));
  EXPECT_FALSE(exists("setting.dat"));
}

TEST_F(StartupTest, AMissingKeyListEndsTheProgramBeforeAnyWindowShowsAndSavesNothing) {
  struct Case {
    const char* what;
    bool dataFiles;
  } cases[] = {{"first start", false}, {"with settings and profiles", true}};
  for (const Case& c : cases) {
    fs::remove(path("keylist.dat"));
    fs::remove(path("lumatap.ini"));
    fs::remove(path("setting.dat"));
    if (c.dataFiles) {
      writeText("lumatap.ini", "[window]\r\nX=5\r\n");
      writeText("setting.dat", "A\t1\t1:1\tW\r\n");
    }
    plat::headless::reset();
    EXPECT_THROW(start(), plat::headless::Terminated) << c.what;
    EXPECT_FALSE(program->form.visible()) << c.what;
    ASSERT_FALSE(shownBoxes().empty()) << c.what;
    EXPECT_EQ(shownBoxes().back().title, "致命的エラー") << c.what;
    EXPECT_EQ(exists("lumatap.ini"), c.dataFiles) << c.what;
    EXPECT_EQ(exists("setting.dat"), c.dataFiles) << c.what;
    if (c.dataFiles) {
      EXPECT_EQ(readText("lumatap.ini"), "[window]\r\nX=5\r\n") << c.what;
      EXPECT_EQ(readText("setting.dat"), "A\t1\t1:1\tW\r\n") << c.what;
    }
  }
}

TEST_F(StartupTest, ACloseWhileAStartUpMessageIsOpenEndsWithoutWritingAnyFile) {
  // A log-off or a close request that reaches the still hidden window while the load waits
  // for the user. Nothing has been read yet that could be saved.
  const std::string settings = "[style]\r\nskin=消えたスキン\r\n[key]\r\nprofile=東方弾幕風\r\n";
  const std::string profiles = "A\t1\t1:1\tW\r\n";
  struct Case {
    const char* box;       // the start of the message the close arrives during
    bool settingsFile;     // lumatap.ini and setting.dat are there
    bool keyList;
    bool terminates;
  } cases[] = {
      {"ルコちゃんのオススメ設定にしますか", false, true, false},
      {"スキンが壊れているか存在しません", true, true, false},
      {"構成ファイルの一部(keylist.dat)が存在しません", true, false, true},
      {"構成ファイルの一部(keylist.dat)が存在しません", false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.box) + (c.settingsFile ? ", with data files" : ", first run"));
    for (const char* f : {"lumatap.ini", "setting.dat", "cols.dat"}) fs::remove(path(f));
    if (!c.keyList) fs::remove(path("keylist.dat"));
    if (c.keyList && !exists("keylist.dat")) {
      fs::copy(fs::path(LUMATAP_SOURCE_DIR) / "assets" / "keylist.dat", path("keylist.dat"));
    }
    if (c.settingsFile) {
      writeText("lumatap.ini", settings);
      writeText("setting.dat", profiles);
    }
    plat::headless::reset();
    int closes = 0;
    plat::headless::setBoxHandler([&](const plat::headless::ShownBox& box) {
      if (box.text.rfind(c.box, 0) == 0 && closes++ == 0) program->form.requestClose();
      return box.buttons == plat::MsgButtons::Ok ? plat::MsgAnswer::Ok : plat::MsgAnswer::No;
    });
    if (c.terminates) {
      EXPECT_THROW(start(), plat::headless::Terminated);
    } else {
      start();
    }
    EXPECT_EQ(closes, 1);
    ASSERT_FALSE(shownBoxes().empty());
    EXPECT_EQ(shownBoxes().back().text.rfind(c.box, 0), 0u) << "the load went no further";
    EXPECT_FALSE(program->form.loaded());
    EXPECT_FALSE(program->form.visible());
    EXPECT_FALSE(plat::headless::hookInstalled());
    EXPECT_EQ(exists("lumatap.ini"), c.settingsFile);
    EXPECT_EQ(exists("setting.dat"), c.settingsFile);
    if (c.settingsFile) {
      EXPECT_EQ(readText("lumatap.ini"), settings);
      EXPECT_EQ(readText("setting.dat"), profiles);
    }
  }
}

TEST_F(StartupTest, EveryUnsavedFileIsReportedWhateverCloseRequestsArriveMeanwhile) {
  writeText("lumatap.ini", "[window]\r\nX=5\r\n");
  start();
  fs::create_directories(path("lumatap.ini.tmp~"));
  fs::create_directories(path("setting.dat.tmp~"));
  // While the first message is open, the user closes the window again and the session
  // ends: neither may sweep the second message away or close the window under it.
  std::vector<bool> loadedDuringBox;
  plat::headless::setBoxHandler([&](const plat::headless::ShownBox&) {
    program->form.userCloseBox();
    program->form.requestClose();
    loadedDuringBox.push_back(program->form.loaded());
    return plat::MsgAnswer::Ok;
  });
  program->mnuEnd_Click();
  ASSERT_EQ(shownBoxes().size(), 2u);
  EXPECT_EQ(shownBoxes()[0].text, "ファイルを保存できませんでした。\r\n" + programPath("\\lumatap.ini"));
  EXPECT_EQ(shownBoxes()[1].text, "ファイルを保存できませんでした。\r\n" + programPath("\\setting.dat"));
  EXPECT_EQ(loadedDuringBox, (std::vector<bool>{true, true}));
  EXPECT_FALSE(program->form.loaded()) << "the end sequence still closes the window";
  EXPECT_TRUE(plat::headless::messageLoopQuit());
}

TEST_F(StartupTest, TheStreamPageIsTurnedOnAndOffFromTheMenuAndKeptInTheSettings) {
  // A free port of this machine, as the settings name it.
  const int port = [] {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return static_cast<int>(ntohs(a.sin_port));
  }();
  const std::string before = "[window]\r\nX=0\r\nY=0\r\nframe=0\r\n[style]\r\nskin=default\r\n[key]\r\n"
                             "profile=WASDスタンダード\r\n[stream]\r\nenabled=1\r\nport=" +
                             std::to_string(port) + "\r\ntoken=not-a-token\r\n";
  writeBytes("lumatap.ini", before);
  start();
  Form1& form = program->form;
  // Left on with a token that is none: not served, and the file is not touched.
  EXPECT_FALSE(program->stream.serving());
  EXPECT_FALSE(form.mnuStream().items[0].checked);
  EXPECT_EQ(readBytes("lumatap.ini"), before);

  // 配信用ページ > 配信用ページを使う: counted after the submenu's own position.
  plat::headless::queueMenuChoice(3);
  form.PicView.userMouseUp(2, 0, 5, 5);
  ASSERT_TRUE(program->stream.serving());
  const std::string token = setting("stream", "token");
  EXPECT_TRUE(isStreamToken(token)) << token;
  const std::string address = "http://127.0.0.1:" + std::to_string(port) + "/?token=" + token;
  EXPECT_EQ(plat::headless::clipboardText(), address);
  ASSERT_FALSE(shownBoxes().empty());
  EXPECT_NE(shownBoxes().back().text.find(address), std::string::npos);
  EXPECT_EQ(setting("stream", "enabled"), "1");
  EXPECT_TRUE(form.mnuStream().items[0].checked);
  EXPECT_TRUE(form.mnuStream().items[1].enabled);

  // The same item again: off, and so it stays at the next start.
  plat::headless::queueMenuChoice(3);
  form.PicView.userMouseUp(2, 0, 5, 5);
  EXPECT_FALSE(program->stream.serving());
  EXPECT_EQ(setting("stream", "enabled"), "0");
  EXPECT_EQ(setting("stream", "token"), token) << "the address stays the same when turned on again";
  EXPECT_FALSE(form.mnuStream().items[1].enabled);
}

}  // namespace
}  // namespace lumatap
