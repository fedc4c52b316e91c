// The pty driver checked against plain shell programs, so a failure in the
// game tests points at the game and not at the driver.
#include <gtest/gtest.h>
#include <signal.h>

#include "vterm_harness.hpp"

using namespace e2e;

namespace {

Launch shell(const std::string &script, int rows = 24, int cols = 80) {
  Launch l;
  l.argv = {"/bin/sh", "-c", script};
  l.rows = rows;
  l.cols = cols;
  return l;
}

}  // namespace

TEST(Harness, ShowsTextAtItsCellsWithColoursAndReportsTheExitStatus) {
  Terminal t(shell(R"(printf 'plain\r\n\033[3;5H\033[30;42mHI\033[0m caf\303\251'; exit 3)"));
  ASSERT_TRUE(t.waitForText("café")) << t.screen();
  EXPECT_EQ(t.row(0), "plain");
  EXPECT_EQ(t.findInRow(2, "HI"), 4);
  EXPECT_EQ(t.textAt(2, 4, 7), "HI café");
  EXPECT_EQ(t.cell(2, 4).fg, Colour::palette(0));
  EXPECT_EQ(t.cell(2, 4).bg, Colour::palette(2));
  EXPECT_EQ(t.cell(2, 7).fg, Colour::byDefault());
  EXPECT_EQ(t.cell(2, 7).bg, Colour::byDefault());
  EXPECT_EQ(t.cell(2, 10).text, "é");
  EXPECT_EQ(t.waitExit(), Exit::code(3));
}

TEST(Harness, RunsInAScratchDirectoryWithTheGameFilesAndTheTerminalSettings) {
  Launch l = shell("pwd; ls -1 game; cat game/start.zok; echo \"$TERM $LANG $LC_ALL\"; stty size");
  l.maps = {{"start", "hello map\n"}, {"hall", ""}};
  l.mapDirs = {"x"};
  l.rows = 20;
  l.cols = 70;
  Terminal t(l);
  ASSERT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
  EXPECT_EQ(t.row(0), t.dir());
  EXPECT_EQ(t.row(1), "hall.zok");
  EXPECT_EQ(t.row(2), "start.zok");
  EXPECT_EQ(t.row(3), "x.zok");
  EXPECT_EQ(t.row(4), "hello map");
  EXPECT_EQ(t.row(5), "xterm-256color C.UTF-8 C.UTF-8");
  EXPECT_EQ(t.row(6), "20 70");
}

TEST(Harness, KeysAreEncodedByTheEmulatorInTheKeypadModeTheProgramChose) {
  // The shell reads the bytes first in normal cursor mode, then after
  // switching the emulator to application mode (DECCKM), and shows both.
  Terminal t(shell(R"(stty raw -echo; printf 'ready1\r\n'; a=$(dd bs=1 count=4 2>/dev/null | od -An -c);
printf '\033[?1h\033=ready2\r\n'; b=$(dd bs=1 count=4 2>/dev/null | od -An -c);
printf '%s\r\n%s\r\n' "$a" "$b")"));
  ASSERT_TRUE(t.waitForText("ready1")) << t.screen();
  t.up();
  t.enter();
  ASSERT_TRUE(t.waitForText("ready2")) << t.screen();
  t.down();
  t.backspace();
  ASSERT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
  EXPECT_NE(t.screen().find("033   [   A  \\r"), std::string::npos) << t.screen();
  EXPECT_NE(t.screen().find("033   O   B 177"), std::string::npos) << t.screen();
}

TEST(Harness, ResizeReachesTheProgramAndTheEmulator) {
  Terminal t(shell(R"(trap 'stty size; exit 0' WINCH; echo waiting; while :; do sleep 0.05; done)"));
  ASSERT_TRUE(t.waitForText("waiting")) << t.screen();
  t.resize(30, 100);
  EXPECT_EQ(t.rows(), 30);
  EXPECT_EQ(t.cols(), 100);
  ASSERT_TRUE(t.waitForText("30 100")) << t.screen();
  EXPECT_EQ(t.waitExit(), Exit::code(0));
}

TEST(Harness, SettleWaitsForAProgramBlockedOnInputAndTimesOutOnABusyOne) {
  Terminal reader(shell("echo ready; read line; echo got $line"));
  ASSERT_TRUE(reader.settle()) << reader.screen();
  EXPECT_TRUE(reader.showing("ready"));
  reader.sendRaw("abc\r");
  ASSERT_TRUE(reader.settle()) << reader.screen();
  EXPECT_TRUE(reader.showing("got abc")) << reader.screen();

  Terminal busy(shell("while :; do :; done"));
  EXPECT_FALSE(busy.settle(Millis(1500)));
}

TEST(Harness, ReportsSignalsHangUpAndTerminalModes) {
  Terminal t(shell(R"(printf '\033[?1049h\033[?25lin alt'; read x)"));
  ASSERT_TRUE(t.waitForText("in alt"));
  EXPECT_TRUE(t.altScreen());
  EXPECT_FALSE(t.cursorVisible());
  t.sendSignal(SIGTERM);
  EXPECT_EQ(t.waitExit(), Exit::signal(SIGTERM));

  Terminal h(shell("echo up; read x"));
  ASSERT_TRUE(h.waitForText("up"));
  h.closeMaster();
  EXPECT_EQ(h.waitExit(), Exit::signal(SIGHUP));

  Terminal blocked(shell("echo up; read x; echo read-failed; exit 4"));
  ASSERT_TRUE(blocked.waitForText("up"));
  blocked.sendSignal(SIGKILL);
  EXPECT_EQ(blocked.waitExit(), Exit::signal(SIGKILL));
}

TEST(Harness, AHangUpWithTheSignalBlockedShowsAsFailingReads) {
  Launch l = shell("echo up; read x; echo \"read ended $?\" > out; exit 4");
  l.blockHangup = true;
  Terminal t(l);
  ASSERT_TRUE(t.waitForText("up"));
  t.closeMaster();
  EXPECT_EQ(t.waitExit(), Exit::code(4));
}

TEST(Harness, KillsAStillRunningChildWhenDestroyed) {
  pid_t pid;
  {
    Terminal t(shell("trap '' HUP TERM; while :; do sleep 1; done"));
    pid = t.pid();
    ASSERT_TRUE(t.settle());
  }
  EXPECT_EQ(kill(pid, 0), -1);  // reaped: no such process any more
}
