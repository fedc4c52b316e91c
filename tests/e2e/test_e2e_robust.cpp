// The game under conditions a careful player or author runs into: the
// terminal closed or hung up at a key wait, tiny terminals, a direct-colour
// terminal, and script text carrying accents or escape bytes.
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>

#include "play.hpp"

using namespace e2e;

namespace {

struct Stage {
  const char *name;
  std::function<testing::AssertionResult(Terminal &)> reach;  // from a fresh game
};

const Stage kStages[] = {
    {"TitleScreen", [](Terminal &t) { return shows(t, kPressAnyKey); }},
    {"NameEntry",
     [](Terminal &t) {
       if (auto r = shows(t, kPressAnyKey); !r) return r;
       t.type(" ");
       if (auto r = shows(t, kNamePrompt); !r) return r;
       t.type("Ed");
       return shows(t, "Enter your name: Ed");
     }},
    {"Menu",
     [](Terminal &t) {
       if (auto r = enterGame(t); !r) return r;
       return shows(t, " Leave");
     }},
};

void PrintTo(const Stage &s, std::ostream *os) { *os << s.name; }

}  // namespace

class LostTerminal : public testing::TestWithParam<Stage> {};

// The terminal closed, closed while SIGHUP is held off (only the failing
// reads tell: the game must not spin on them nor grow the name), a bare
// SIGHUP, or Ctrl-C: the game ends by the signal with the terminal restored.
TEST_P(LostTerminal, EndsTheGame) {
  for (const char *how : {"closed", "closed with SIGHUP blocked", "SIGHUP", "Ctrl-C"}) {
    SCOPED_TRACE(how);
    const std::string_view mode = how;
    Launch l = game({{"start", ".list\n.opt Stay\n.go start\n.tpo\n.opt Leave\n.win\n.tpo\n.lend\n"}});
    l.blockHangup = mode == "closed with SIGHUP blocked";
    Terminal t(l);
    ASSERT_TRUE(GetParam().reach(t));
    ASSERT_TRUE(settles(t));
    ASSERT_TRUE(t.altScreen());
    ASSERT_FALSE(t.cursorVisible());
    if (mode == "SIGHUP") t.sendSignal(SIGHUP);
    else if (mode == "Ctrl-C") t.sendRaw("\x03");
    else t.closeMaster();
    const std::string e = t.waitExit();
    if (mode == "Ctrl-C") EXPECT_EQ(e, "signal 2");
    else EXPECT_TRUE(e == "exit 0" || (!l.blockHangup && e == "signal 1")) << e;
    if (mode == "SIGHUP" || mode == "Ctrl-C") {
      EXPECT_FALSE(t.altScreen()) << "still on the alternate screen";
      EXPECT_TRUE(t.cursorVisible()) << "cursor left hidden";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AtKeyWaits, LostTerminal, testing::ValuesIn(kStages),
                         [](const auto &info) { return std::string(info.param.name); });

class TinyTerminal : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(TinyTerminal, StartsAndPlaysToTheEndByKeys) {
  // The first option leads back to the same menu, the second on to a win:
  // the keys below end the game only if the menu answered them right.
  Launch l = game({{"start",
                    ".name Tiny\n.desc\nA small room with a long description line.\n.dend\n"
                    ".list\n.opt Go back round\n.go start\n.tpo\n.opt Go on\n.go next\n.tpo\n.lend\n"},
                   {"next", ".desc\nNext room.\n.dend\n.win\n"}});
  std::tie(l.rows, l.cols) = GetParam();
  Terminal t(l);
  // Title, name, greeting, the menu, the .go prompt, the .win prompt and
  // the victory message.
  const std::vector<std::function<void()>> keys = {
      [&] { t.type(" "); }, [&] { t.type("Al"); t.enter(); }, [&] { t.type(" "); },
      [&] { t.down(); t.enter(); }, [&] { t.type(" "); }, [&] { t.type(" "); },
      [&] { t.type(" "); }};
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_TRUE(settles(t)) << "before key " << i;
    ASSERT_EQ(t.waitExit(0ms), "running") << "ended before key " << i;
    keys[i]();
  }
  EXPECT_EQ(t.waitExit(), "exit 0") << t.screen();
}

INSTANTIATE_TEST_SUITE_P(DownToOneByOne, TinyTerminal,
                         testing::Values(std::pair{1, 1}, std::pair{3, 12}, std::pair{24, 1}),
                         [](const auto &i) {
                           return std::to_string(i.param.first) + "x" + std::to_string(i.param.second);
                         });

TEST(DirectColourTerminal, StartsPromptlyAndHighlightsTheMenuWithColour0On2) {
  Launch l = game({{"start", ".list\n.opt First\n.win\n.tpo\n.opt Second\n.die\n.tpo\n.lend\n"}});
  l.term = "xterm-direct";  // 16,777,216 colours
  Terminal t(l);
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Second"));
  ASSERT_TRUE(settles(t));
  const Cell chosen = t.cell(kOptsTop, 2), other = t.cell(kOptsTop + 1, 2), text = t.cell(1, 2);
  EXPECT_EQ(std::pair(chosen.fg, chosen.bg), std::pair(0, 2)) << t.screen();
  EXPECT_EQ(std::pair(other.fg, other.bg), std::pair(text.fg, text.bg)) << "the greeting's colours";
  EXPECT_NE(other.bg, 2);
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(ScriptText, AccentsShowAsTextAndEscapeBytesAsCaretNotation) {
  Terminal t(game({{"start",
                    ".name Forêt \x1b[41mHall\n"
                    ".desc\nCafé \x1b[31mred\x1b[0m word\x1b]0;pwned\x07.\n\x1b[?1049l\x1b[2J\x1b[?25h\n.dend\n"
                    ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "^[[?25h"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(0), " Forêt ^[[41mHall") << t.screen();
  EXPECT_EQ(t.row(2), " Café ^[[31mred^[[0m word^[]0;pwned^G.") << t.screen();
  EXPECT_EQ(t.row(3), " ^[[?1049l^[[2J^[[?25h") << t.screen();
  EXPECT_EQ(t.textAt(2, 4, 2), "é ");  // one cell a letter
  // None of it reached the emulator: colours, title and modes are untouched.
  const Cell plain = t.cell(2, 1);
  for (int r : {0, 2})
    for (int c = 0; c < 30; ++c)
      EXPECT_EQ(std::pair(t.cell(r, c).fg, t.cell(r, c).bg), std::pair(plain.fg, plain.bg))
          << "row " << r << " column " << c;
  EXPECT_EQ(t.windowTitle(), "");
  EXPECT_TRUE(t.altScreen());
  EXPECT_FALSE(t.cursorVisible());
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(DumbTerminal, IsReportedByNameAndTheGameExitsWithStatusOne) {
  Launch l = game({{"start", ".win\n"}});
  l.term = "dumb";  // no cursor addressing
  Terminal t(l);
  EXPECT_TRUE(shows(t, "initscr() error'd: terminal 'dumb' cannot move the cursor"));
  EXPECT_EQ(t.waitExit(), "exit 1") << t.screen();
  EXPECT_FALSE(t.showing("_")) << t.screen();
}
