// The game under conditions a careful player or author runs into: the
// terminal going away, hang-up and termination signals, tiny and resized
// windows, a direct-colour terminal, accented text, escape bytes inside a
// script and map files that exist but cannot be read.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <functional>

#include "play.hpp"

using namespace e2e;

namespace {

Launch game(std::map<std::string, std::string> maps) {
  Launch l;
  l.maps = std::move(maps);
  return l;
}

// A game with something to do at every kind of key wait.
const std::map<std::string, std::string> kWaits = {
    {"start",
     ".desc\nOne.\n.dend\n.desc\nTwo.\n.dend\n"
     ".list\n.opt Stay\n.go start\n.tpo\n.opt Leave\n.win\n.tpo\n.lend\n"}};

struct Stage {
  const char *name;
  // Brings a fresh game to the key wait under test.
  std::function<testing::AssertionResult(Terminal &)> reach;
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
    {"Greeting",
     [](Terminal &t) {
       if (auto r = shows(t, kPressAnyKey); !r) return r;
       t.type(" ");
       if (auto r = shows(t, kNamePrompt); !r) return r;
       t.enter();
       return shows(t, "Welcome, !");
     }},
    {"ContinuePrompt",
     [](Terminal &t) {
       if (auto r = enterGame(t); !r) return r;
       return shows(t, kContinue);
     }},
    {"Menu",
     [](Terminal &t) {
       if (auto r = enterGame(t); !r) return r;
       if (auto r = shows(t, kContinue); !r) return r;
       t.type(" ");
       return shows(t, " Leave");
     }},
};

std::string stageName(const testing::TestParamInfo<Stage> &info) { return info.param.name; }
void PrintTo(const Stage &s, std::ostream *os) { *os << s.name; }

bool endedQuietly(const Exit &e) { return e == Exit::code(0) || e == Exit::signal(SIGHUP); }

}  // namespace

// --- the terminal goes away --------------------------------------------------

class TerminalClosed : public testing::TestWithParam<Stage> {};

TEST_P(TerminalClosed, EndsTheGameAtOnce) {
  Terminal t(game(kWaits));
  ASSERT_TRUE(GetParam().reach(t));
  ASSERT_TRUE(settles(t));
  t.closeMaster();
  Exit e = t.waitExit();
  EXPECT_TRUE(endedQuietly(e)) << e;
}

TEST_P(TerminalClosed, EndsTheGameEvenWhenTheHangUpSignalIsHeldOff) {
  // Only the failing reads tell the program its input is gone; it must not
  // spin on them (nor grow the name) but end with status 0.
  Launch l = game(kWaits);
  l.blockHangup = true;
  Terminal t(l);
  ASSERT_TRUE(GetParam().reach(t));
  ASSERT_TRUE(settles(t));
  t.closeMaster();
  EXPECT_EQ(t.waitExit(), Exit::code(0));
}

INSTANTIATE_TEST_SUITE_P(AtEveryKeyWait, TerminalClosed, testing::ValuesIn(kStages), stageName);

class HangUpSignal : public testing::TestWithParam<Stage> {};

TEST_P(HangUpSignal, RestoresTheTerminalAndEnds) {
  Terminal t(game(kWaits));
  ASSERT_TRUE(GetParam().reach(t));
  ASSERT_TRUE(settles(t));
  ASSERT_TRUE(t.altScreen());
  ASSERT_FALSE(t.cursorVisible());
  t.sendSignal(SIGHUP);
  Exit e = t.waitExit();
  EXPECT_TRUE(endedQuietly(e)) << e;
  EXPECT_FALSE(t.altScreen()) << "still on the alternate screen";
  EXPECT_TRUE(t.cursorVisible()) << "cursor left hidden";
}

INSTANTIATE_TEST_SUITE_P(AtEveryKeyWait, HangUpSignal, testing::ValuesIn(kStages), stageName);

TEST(TerminationSignals, InterruptAndTerminateAlsoRestoreTheTerminal) {
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(sig));
    Terminal t(game(kWaits));
    ASSERT_TRUE(enterGame(t));
    ASSERT_TRUE(shows(t, kContinue));
    ASSERT_TRUE(settles(t));
    t.sendSignal(sig);
    EXPECT_NE(t.waitExit(), Exit{});
    EXPECT_FALSE(t.altScreen());
    EXPECT_TRUE(t.cursorVisible());
  }
}

// --- resizing is not a key press --------------------------------------------

TEST(ResizeIsNotAKey, NoWaitIsDismissedAndNothingIsTypedIntoTheName) {
  Terminal t(game({{"start", ".desc\nFirst text.\n.dend\n.desc\nSecond text.\n.dend\n.win\n"}}));

  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.resize(30, 100);
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing(kNamePrompt)) << "the resize left the title\n" << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));

  t.type("Bo");
  ASSERT_TRUE(shows(t, "Enter your name: Bo"));
  t.resize(24, 80);
  ASSERT_TRUE(settles(t));
  t.type("b");
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, Bob"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(1), " Welcome, Bob!") << t.screen();

  t.resize(20, 70);
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing("First text.")) << "the resize left the greeting\n" << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "First text."));
  ASSERT_TRUE(shows(t, kContinue));

  t.resize(24, 80);
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing("Second text.")) << "the resize passed the prompt\n" << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "Second text."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

// --- tiny terminals ----------------------------------------------------------

struct Size {
  int rows, cols;
};

void PrintTo(const Size &s, std::ostream *os) { *os << s.rows << "x" << s.cols; }

class TinyTerminal : public testing::TestWithParam<Size> {};

TEST_P(TinyTerminal, StartsAndPlaysToTheEndByKeys) {
  // The second option leads on to a win; the first back to the same menu,
  // so the keys below end the game only if the menu answered them right.
  Launch l = game({{"start",
                    ".name Tiny\n.desc\nA small room with a long description line.\n.dend\n"
                    ".list\n.opt Go back round\n.go start\n.tpo\n.opt Go on\n.go next\n.tpo\n.lend\n"},
                   {"next", ".desc\nNext room.\n.dend\n.win\n"}});
  l.rows = GetParam().rows;
  l.cols = GetParam().cols;
  Terminal t(l);
  // Title, name, greeting, the menu (Down, Enter), the .go prompt, the .win
  // prompt and the victory message.
  const std::vector<std::function<void()>> keys = {
      [&] { t.type(" "); }, [&] { t.type("Al"); t.enter(); }, [&] { t.type(" "); },
      [&] { t.down(); t.enter(); }, [&] { t.type(" "); }, [&] { t.type(" "); },
      [&] { t.type(" "); }};
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_TRUE(t.settle()) << "no key wait " << i << "\n" << t.screen();
    ASSERT_EQ(t.waitExit(Millis(0)), Exit{}) << "ended before key " << i;
    keys[i]();
  }
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

INSTANTIATE_TEST_SUITE_P(DownToOneByOne, TinyTerminal,
                         testing::Values(Size{1, 1}, Size{1, 40}, Size{2, 2}, Size{3, 12},
                                         Size{4, 4}, Size{5, 30}, Size{24, 1}),
                         [](const testing::TestParamInfo<Size> &i) {
                           return std::to_string(i.param.rows) + "x" + std::to_string(i.param.cols);
                         });

TEST(Resize, DownToOneByOneAndBackKeepsTheGameGoing) {
  Terminal t(game({{"start",
                    ".desc\nFirst text.\n.dend\n.desc\nSecond text.\n.dend\n"
                    ".desc\nThird text.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  t.resize(1, 1);
  ASSERT_TRUE(settles(t));
  t.type(" ");  // the second description, laid out at 1 x 1
  ASSERT_TRUE(settles(t));
  t.resize(24, 80);
  ASSERT_TRUE(settles(t));
  t.type(" ");  // the third, at 24 x 80 again: panes 79 wide
  ASSERT_TRUE(shows(t, "Third text."));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.findInRow(2, "Third text."), 1) << t.screen();
  EXPECT_EQ(t.findInRow(18, "<continue>"), 0) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

// --- terminal types ----------------------------------------------------------

TEST(DirectColourTerminal, StartsPromptlyAndHighlightsTheMenuWithColour0On2) {
  Launch l = game({{"start", ".list\n.opt First\n.win\n.tpo\n.opt Second\n.die\n.tpo\n.lend\n"}});
  l.term = "xterm-direct";
  Terminal t(l);
  ASSERT_TRUE(shows(t, kPressAnyKey));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Second"));
  ASSERT_TRUE(settles(t));
  ASSERT_TRUE(t.showing("Welcome")) << "the greeting stays until the map shows a description";
  EXPECT_EQ(t.cell(18, 2).fg, Colour::palette(0)) << t.screen();
  EXPECT_EQ(t.cell(18, 2).bg, Colour::palette(2));
  // The other label looks like any other text.
  EXPECT_EQ(t.cell(19, 2).fg, t.cell(1, 2).fg);
  EXPECT_EQ(t.cell(19, 2).bg, t.cell(1, 2).bg);
  EXPECT_NE(t.cell(19, 2).bg, Colour::palette(2));
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}

// --- UTF-8 -------------------------------------------------------------------

TEST(Utf8, AccentedScriptTextShowsAsText) {
  Terminal t(game({{"start", ".name Forêt\n.desc\nCafé crème, déjà vu.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "Café crème, déjà vu."));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(0), " Forêt");
  EXPECT_EQ(t.findInRow(2, "Café"), 1) << t.screen();
  EXPECT_EQ(t.cell(2, 4).text, "é");
  EXPECT_EQ(t.cell(2, 5).text, " ");  // one cell per letter
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(Utf8, TypedAccentsShowInTheNameAndBackspaceTakesBackTheWholeLetter) {
  Terminal t(game({{"start", ".win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  t.type("Zoé");
  ASSERT_TRUE(shows(t, "Enter your name: Zoé"));
  t.backspace();
  t.type("e");
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, Zoe"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(1), " Welcome, Zoe!") << t.screen();
}

TEST(Utf8, AnAccentedNameIsGreetedAsTyped) {
  Terminal t(game({{"start", ".win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  t.type("Ådne Ø");
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, Ådne Ø!"));
}

// --- escape bytes in scripts -------------------------------------------------

TEST(ScriptText, EscapeBytesShowAsCaretNotationAndNeverReachTheTerminal) {
  Terminal t(game({{"start",
                    ".name \x1b[41mHall\n"
                    ".desc\nA \x1b[31mred\x1b[0m word\x1b]0;pwned\x07.\n\x1b[?1049l\x1b[2J\x1b[?25h\n.dend\n"
                    ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "^[[?25h"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(0), " ^[[41mHall") << t.screen();
  EXPECT_EQ(t.row(2), " A ^[[31mred^[[0m word^[]0;pwned^G.") << t.screen();
  EXPECT_EQ(t.row(3), " ^[[?1049l^[[2J^[[?25h") << t.screen();
  // The bytes after the escapes look like the rest of the text.
  const Cell plain = t.cell(2, 1);
  const int red = t.findInRow(2, "red");
  ASSERT_GT(red, 0);
  for (int c = red; c < red + 3; ++c) {
    EXPECT_EQ(t.cell(2, c).fg, plain.fg) << "column " << c;
    EXPECT_EQ(t.cell(2, c).bg, plain.bg) << "column " << c;
  }
  for (int c = 0; c < 12; ++c) EXPECT_EQ(t.cell(0, c).bg, plain.bg) << "column " << c;
  EXPECT_EQ(t.rows(), 24);
  EXPECT_EQ(t.windowTitle(), "");
  EXPECT_TRUE(t.altScreen());
  EXPECT_FALSE(t.cursorVisible());
  EXPECT_TRUE(endsWith(t, kVictory));
}

// --- maps that exist but cannot be read ----------------------------------------

TEST(UnreadableMap, ADirectoryInPlaceOfTheStartMapShowsTheLoadMessage) {
  Launch l = game({});
  l.mapDirs = {"start"};
  Terminal t(l);
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, loadFailure("game/start.zok")));
  ASSERT_TRUE(settles(t));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

TEST(UnreadableMap, GoToADirectoryPromptsThenShowsTheLoadMessage) {
  Launch l = game({{"start", ".desc\nA dark arch.\n.dend\n.go cellar\n"}});
  l.mapDirs = {"cellar"};
  Terminal t(l);
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, loadFailure("game/cellar.zok")));
  ASSERT_TRUE(settles(t));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

TEST(UnreadableMap, AFileWithoutReadPermissionShowsTheLoadMessage) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  Launch l = game({});
  l.unreadableMaps = {"start"};
  Terminal t(l);
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, loadFailure("game/start.zok")));
  ASSERT_TRUE(settles(t));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}
