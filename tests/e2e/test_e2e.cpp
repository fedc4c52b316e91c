// The game as a player meets it: the title screen, name entry, descriptions
// and their key waits, moving between maps, the endings, maps that cannot be
// loaded, and resizes.
#include <gtest/gtest.h>
#include <unistd.h>

#include "play.hpp"

using namespace e2e;

TEST(TitleScreen, DrawsItsTextsAndBorderAndOnlyAKeyLeavesIt) {
  Terminal t(game({{"start", ".win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.findInRow(7, "ZOK 0.1"), 37) << t.screen();
  EXPECT_EQ(t.findInRow(8, "\"they fragile as eggs\""), 29) << t.screen();
  EXPECT_EQ(t.findInRow(10, "cobbled together by orvo_pelin"), 25) << t.screen();
  EXPECT_EQ(t.findInRow(11, "game testing and implementation by tulwin"), 20) << t.screen();
  EXPECT_EQ(t.findInRow(13, "press any key to continue :)"), 26) << t.screen();
  // Top corners blank, bottom corners "|", sides "|", top and bottom "_".
  EXPECT_EQ(t.textAt(0, 0, 80), " " + std::string(78, '_') + " ");
  EXPECT_EQ(t.textAt(23, 0, 80), "|" + std::string(78, '_') + "|");
  for (int r = 1; r < 23; ++r)
    EXPECT_EQ(t.cell(r, 0).text + t.cell(r, 79).text, "||") << "row " << r;

  t.resize(30, 100);  // not a key
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing(kNamePrompt)) << t.screen();
  t.type("z");
  ASSERT_TRUE(shows(t, kNamePrompt));
  EXPECT_FALSE(t.showing("ZOK 0.1")) << t.screen();
  EXPECT_FALSE(t.showing("|")) << t.screen();
}

TEST(NameEntry, BackspaceTakesBackWholeLettersAndTheGreetingWaitsForAKey) {
  Terminal t(game({{"start", ".desc\nFirst room.\n.dend\n.win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  EXPECT_EQ(t.findInRow(kOptsTop, "Enter your name:"), 1) << t.screen();
  t.backspace();  // nothing to take back yet
  t.type("Zoé");
  ASSERT_TRUE(shows(t, "Enter your name: Zoé"));
  EXPECT_EQ(t.findInRow(kOptsTop, "Zoé"), 18) << t.screen();
  t.backspace();  // both bytes of the "é"
  t.resize(20, 70);  // not a key: adds nothing to the name
  ASSERT_TRUE(settles(t));
  t.type("ey");
  t.backspace();
  t.sendRaw("\x1b[1;2D");  // Shift+Left: a key code whose low byte, 0x89,
  t.backspace();            // is no letter, so Backspace takes it alone
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, "));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kDescTop), " Welcome, Zoe!") << t.screen();

  t.resize(24, 80);  // not a key either: the greeting stays
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing("First room.")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "First room."));
  EXPECT_FALSE(t.showing("Welcome")) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

// A description waits for a key when one was shown since the last name line;
// a name line lets one more pass. The count carries from map to map.
TEST(DescriptionWait, FollowsDescriptionsAndNameLinesAcrossMaps) {
  Terminal t(game({{"start",
                    ".name  Hall\n"
                    ".desc\nOne.\n.dend\n"
                    ".desc\nTwo.\n.dend\n"
                    ".desc\nThree.\n.dend\n"
                    ".name Porch\n"
                    ".desc\nFour.\n.dend\n"
                    ".go hall\n"},
                   {"hall", ".desc\nFive.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  // One and Two pass after the name line; Three waits behind the prompt.
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_EQ(t.findInRow(kOptsTop, "<continue>"), 1) << t.screen();
  EXPECT_EQ(t.row(0), "  Hall") << t.screen();
  EXPECT_EQ(t.findInRow(kDescTop + 1, "Two."), 1) << t.screen();
  EXPECT_FALSE(t.showing("One.")) << t.screen();
  EXPECT_FALSE(t.showing("Three.")) << t.screen();

  // Three, then the name line lets Four pass; .go prompts.
  t.type(" ");
  ASSERT_TRUE(shows(t, "Four."));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(0), " Porch") << t.screen();
  EXPECT_TRUE(t.showing(kContinue)) << t.screen();

  // In hall, Five waits again: Four was shown since the last name line.
  t.type(" ");
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing("Five.")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "Five."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

class Ending : public testing::TestWithParam<std::string> {};

TEST_P(Ending, ShowsItsMessageAfterAPromptAndTheGameEndsWithStatusZero) {
  const std::string_view message = GetParam() == ".die" ? kDeath : kVictory;
  Terminal t(game({{"start", ".desc\nThe last room.\n.dend\n" + GetParam() + "\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("The last room.")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, message.substr(0, 33)));
  ASSERT_TRUE(settles(t));
  for (size_t i = 0; i < message.size(); i += 78)  // wrapped in the 78-column pane
    EXPECT_EQ(t.textAt(kDescTop + static_cast<int>(i / 78), 1,
                       static_cast<int>(std::min<size_t>(78, message.size() - i))),
              message.substr(i, 78))
        << t.screen();
  t.type(" ");
  EXPECT_EQ(t.waitExit(), "exit 0") << t.screen();
  EXPECT_FALSE(t.altScreen()) << "curses never ended";
  EXPECT_TRUE(t.cursorVisible());
}

INSTANTIATE_TEST_SUITE_P(DieAndWin, Ending, testing::Values(".die", ".win"),
                         [](const auto &info) { return info.param.substr(1); });

TEST(LoadFailure, AMapMissingOrUnreadableShowsItsPathAndEndsTheGameOnAKey) {
  struct Case {
    const char *what;
    Launch launch;
    const char *path;
  };
  std::vector<Case> cases = {{"missing start", game({}), "game/start.zok"},
                             {"start a directory", game({}), "game/start.zok"},
                             {"start unreadable", game({}), "game/start.zok"},
                             {".go to a directory", game({{"start", ".go cellar\n"}}), "game/cellar.zok"}};
  cases[1].launch.mapDirs = {"start"};
  cases[2].launch.unreadableMaps = {"start"};
  cases[3].launch.mapDirs = {"cellar"};
  for (const auto &[what, launch, path] : cases) {
    SCOPED_TRACE(what);
    if (!launch.unreadableMaps.empty() && geteuid() == 0) continue;  // root reads any file
    Terminal t(launch);
    ASSERT_TRUE(enterGame(t));
    if (!launch.maps.empty()) {
      ASSERT_TRUE(shows(t, kContinue));
      t.type(" ");
    }
    ASSERT_TRUE(shows(t, loadFailure(path)));
    EXPECT_EQ(t.findInRow(kDescTop, "Could not load"), 1) << t.screen();
    ASSERT_TRUE(settles(t));
    t.type(" ");
    EXPECT_EQ(t.waitExit(), "exit 0") << t.screen();
  }
}

// Script and player text far longer than a screenful shows as text.
TEST(LongText, NameLineDescriptionGreetingAndLoadMessageShowTheirText) {
  auto letters = [](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
    return s;
  };
  const std::string player = letters(3000), name = letters(2100), desc = letters(3000),
                    target = letters(5000);
  Terminal t(game({{"start", ".name " + name + "\n.desc\n" + desc + "\n.dend\n.go " + target + "\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  t.type(player);
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, abc"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.textAt(kDescTop, 1, 78), ("Welcome, " + player).substr(0, 78)) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_EQ(t.row(0), " " + name.substr(0, 79)) << t.screen();
  EXPECT_EQ(t.textAt(kDescTop + 1, 1, 78), desc.substr(0, 78)) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "Could not load game/"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.textAt(kDescTop, 1, 78), ("Could not load game/" + target).substr(0, 78)) << t.screen();
  t.type(" ");
  EXPECT_EQ(t.waitExit(), "exit 0") << t.screen();
}

TEST(Resize, TheNextOutputLaysThePanesOutOneColumnNarrowerThanTheScreen) {
  std::string line;  // 150 letters: wraps where the description pane ends
  for (int i = 0; i < 150; ++i) line += static_cast<char>('a' + i % 26);
  Terminal t(game({{"start", ".desc\nFirst.\n.dend\n.desc\nSecond.\n.dend\n.desc\n" + line +
                                 "\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  t.resize(1, 1);  // Second shows in a single cell, then the line waits
  ASSERT_TRUE(settles(t));
  t.type(" ");
  ASSERT_TRUE(settles(t));

  t.resize(30, 100);  // panes 99 wide; the options pane from row 23, column 0
  ASSERT_TRUE(settles(t));
  t.type(" ");
  ASSERT_TRUE(shows(t, line.substr(0, 20)));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.textAt(kDescTop + 1, 1, 99), line.substr(0, 99)) << t.screen();
  EXPECT_EQ(t.textAt(kDescTop + 2, 1, 51), line.substr(99)) << t.screen();
  EXPECT_EQ(t.findInRow(23, "<continue>"), 0) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

// A map that never waits for a key (here an empty one) would run again and
// again on a blank screen: after 1,000 such passes the game says which map
// it is, waits for a key and ends.
TEST(IdleMap, IsNamedAndEndsTheGameAfterAKey) {
  Terminal t(game({{"start", ".name Start\n.go empty\n"}, {"empty", ""}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, "game/empty.zok runs again and again without waiting for a key"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.waitExit(0ms), "running");
  t.type(" ");
  EXPECT_EQ(t.waitExit(), "exit 0") << t.screen();
}
