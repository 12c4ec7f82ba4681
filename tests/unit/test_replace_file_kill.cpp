// A program killed while it replaces a file leaves the old file or the new one behind,
// whole, never a part of either: the end sequence may be cut short by a crash, by the
// session ending or by the task manager at any instant.
//
// A child process replaces a large file over and over, alternating two contents, and is
// killed with SIGKILL at moments spread over whole replacements. A killed process loses
// nothing the kernel already has, so this is about the order of the steps (write beside,
// then swap), not about power loss.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/system.h"
#include "tests/unit/fixture.h"

namespace lumatap {
namespace {

using Clock = std::chrono::steady_clock;

class ReplaceFileKillTest : public testing::ProgramFolderTest {
protected:
  // Distinct sizes, so a file cut short or one content written over the other shows.
  static std::string content(char tag, std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(tag + i % 61);
    return s;
  }

  std::string target() const { return plat::programFolder() + "\\setting.dat"; }
};

TEST_F(ReplaceFileKillTest, AKillAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
  const std::string oldBytes = content('a', 3u << 20);
  const std::string newBytes = content('b', 5u << 20);
  writeBytes("setting.dat", oldBytes);

  // One cycle (new, then old again) as this machine's disk does it; the kills are spread
  // over two cycles, so they land in every step of a replacement.
  const auto begin = Clock::now();
  ASSERT_TRUE(plat::replaceFile(target(), newBytes));
  ASSERT_TRUE(plat::replaceFile(target(), oldBytes));
  const auto cycle = Clock::now() - begin;

  constexpr int kKills = 60;
  int cutInsideAReplacement = 0;
  for (int i = 0; i < kKills; ++i) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        plat::replaceFile(target(), newBytes);
        plat::replaceFile(target(), oldBytes);
      }
    }
    const auto delay = cycle * 2 * i / kKills;
    std::this_thread::sleep_for(delay);
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string now = readBytes("setting.dat");
    ASSERT_TRUE(now == oldBytes || now == newBytes)
        << "killed " << std::chrono::duration_cast<std::chrono::microseconds>(delay).count()
        << " us into the replacements, the file holds " << now.size() << " bytes that are "
        << "neither the old nor the new content";
    // The file written beside the target is still there when the kill came between its
    // creation and the swap.
    if (exists("setting.dat.tmp~")) ++cutInsideAReplacement;
  }
  // Kills that all fell between two replacements would prove nothing.
  EXPECT_GE(cutInsideAReplacement, kKills / 4);

  // What a killed replacement leaves beside the file does not stand in the next one's way.
  ASSERT_TRUE(plat::replaceFile(target(), newBytes));
  EXPECT_EQ(readBytes("setting.dat"), newBytes);
  EXPECT_FALSE(exists("setting.dat.tmp~"));
}

}  // namespace
}  // namespace lumatap
