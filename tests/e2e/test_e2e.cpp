// The game as a player meets it on an 80 x 24 xterm-256color terminal: the
// title screen, name entry, the panes, descriptions and their key waits,
// moving between maps and the endings.
//
// On 80 x 24 the first layout puts the name line on row 0, the description
// pane on rows 1-18 from column 1 and the options pane on rows 18-23 from
// column 1, both 78 columns wide.
#include <gtest/gtest.h>

#include "play.hpp"

using namespace e2e;

namespace {

constexpr int kDescTop = 1;   // screen row of the description pane's row 0
constexpr int kOptsTop = 18;  // screen row of the options pane's row 0

Launch game(std::map<std::string, std::string> maps) {
  Launch l;
  l.maps = std::move(maps);
  return l;
}

}  // namespace

TEST(TitleScreen, DrawsItsTextsAndBorderAtTheirPlacesOn80x24) {
  Terminal t(game({{"start", ".win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  ASSERT_TRUE(settles(t));

  EXPECT_EQ(t.findInRow(7, "ZOK 0.1"), 37) << t.screen();
  EXPECT_EQ(t.findInRow(8, "\"they fragile as eggs\""), 29) << t.screen();
  EXPECT_EQ(t.findInRow(10, "cobbled together by orvo_pelin"), 25) << t.screen();
  EXPECT_EQ(t.findInRow(11, "game testing and implementation by tulwin"), 20) << t.screen();
  EXPECT_EQ(t.findInRow(13, "press any key to continue :)"), 26) << t.screen();

  // Top corners blank, bottom corners "|", sides "|", top and bottom "_".
  EXPECT_EQ(t.textAt(0, 0, 1), " ");
  EXPECT_EQ(t.textAt(0, 79, 1), " ");
  EXPECT_EQ(t.textAt(0, 1, 78), std::string(78, '_'));
  EXPECT_EQ(t.textAt(23, 0, 80), "|" + std::string(78, '_') + "|");
  for (int r = 1; r < 23; ++r) {
    EXPECT_EQ(t.cell(r, 0).text, "|") << "row " << r;
    EXPECT_EQ(t.cell(r, 79).text, "|") << "row " << r;
  }

  // Any key leaves the title: the screen is cleared for the panes.
  t.type("z");
  ASSERT_TRUE(shows(t, kNamePrompt));
  EXPECT_FALSE(t.showing("ZOK 0.1")) << t.screen();
  EXPECT_FALSE(t.showing("|")) << t.screen();
}

TEST(NameEntry, BackspaceTakesBackTheLastLetterAndTheGreetingUsesTheName) {
  Terminal t(game({{"start", ".desc\nFirst room.\n.dend\n.win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  EXPECT_EQ(t.findInRow(kOptsTop, "Enter your name:"), 1) << t.screen();

  t.backspace();  // on the empty name: nothing to take back
  t.type("Bob");
  ASSERT_TRUE(shows(t, "Enter your name: Bob"));
  EXPECT_EQ(t.findInRow(kOptsTop, "Bob"), 18);
  t.backspace();
  t.type("x");
  ASSERT_TRUE(shows(t, "Enter your name: Box"));
  t.enter();

  ASSERT_TRUE(shows(t, "Welcome, Box!"));
  EXPECT_EQ(t.row(kDescTop), " Welcome, Box!") << t.screen();
  // The greeting waits for a key before the first map shows.
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing("First room.")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "First room."));
  EXPECT_FALSE(t.showing("Welcome")) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(NameEntry, EnterAtOnceGreetsAnEmptyName) {
  Terminal t(game({{"start", ".win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, !"));
}

TEST(NameEntry, BackspaceAsRawDeleteByteAlsoTakesBackALetter) {
  // xterm-256color's Backspace is byte 127; sent raw it must act the same.
  Terminal t(game({{"start", ".win\n"}}));
  ASSERT_TRUE(shows(t, kPressAnyKey));
  t.type(" ");
  ASSERT_TRUE(shows(t, kNamePrompt));
  t.type("Ann");
  t.sendRaw("\x7f");
  t.type("a");
  t.enter();
  ASSERT_TRUE(shows(t, "Welcome, Ana!"));
}

TEST(NamePane, ShowsTheRestOfTheNameLineWithItsBlanks) {
  Terminal t(game({{"start", ".name  Great Hall\n.desc\nStone walls.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "Stone walls."));
  EXPECT_EQ(t.row(0), "  Great Hall") << t.screen();
  EXPECT_EQ(t.findInRow(kDescTop + 1, "Stone walls."), 1) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

// --- when a description waits for a key ------------------------------------

TEST(DescriptionWait, WithoutANameLineTheSecondDescriptionWaitsForAKey) {
  Terminal t(game({{"start", ".desc\nFirst text.\n.dend\n.desc\nSecond text.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  // The first shows at once; the second waits with the prompt under it.
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("First text.")) << t.screen();
  EXPECT_FALSE(t.showing("Second text.")) << t.screen();
  EXPECT_EQ(t.findInRow(kOptsTop, "<continue>"), 1) << t.screen();

  t.type(" ");
  ASSERT_TRUE(shows(t, "Second text."));
  EXPECT_FALSE(t.showing("First text.")) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(DescriptionWait, ANameLineFirstLetsTwoDescriptionsPassAndTheThirdWaits) {
  Terminal t(game({{"start",
                    ".name Hall\n"
                    ".desc\nOne.\n.dend\n"
                    ".desc\nTwo.\n.dend\n"
                    ".desc\nThree.\n.dend\n"
                    ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  // One passed without a wait (replaced by Two); Three waits.
  EXPECT_TRUE(t.showing("Two.")) << t.screen();
  EXPECT_FALSE(t.showing("One.")) << t.screen();
  EXPECT_FALSE(t.showing("Three.")) << t.screen();
  EXPECT_EQ(t.row(0), " Hall");

  t.type(" ");
  ASSERT_TRUE(shows(t, "Three."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(DescriptionWait, ANameLineBetweenTwoDescriptionsLetsTheSecondPass) {
  Terminal t(game({{"start", ".desc\nBefore.\n.dend\n.name Porch\n.desc\nAfter.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  // The only prompt is the one of .win, under the second description.
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("After.")) << t.screen();
  EXPECT_FALSE(t.showing("Before.")) << t.screen();
  EXPECT_EQ(t.row(0), " Porch");
  t.type(" ");
  ASSERT_TRUE(shows(t, kVictory.substr(0, 20)));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

TEST(DescriptionWait, TheCountCarriesAcrossMaps) {
  // start leaves one description pending; hall's description then waits
  // after the .go prompt, and a name line in hall would have cancelled it.
  Terminal t(game({{"start", ".desc\nStart text.\n.dend\n.go hall\n"},
                   {"hall", ".desc\nHall text.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "Start text."));
  ASSERT_TRUE(shows(t, kContinue));  // the .go prompt
  t.type(" ");
  // Entering hall: its description waits behind a second prompt.
  ASSERT_TRUE(settles(t));
  EXPECT_TRUE(t.showing(kContinue)) << t.screen();
  EXPECT_FALSE(t.showing("Hall text.")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, "Hall text."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

// --- moving between maps and ending ----------------------------------------

TEST(Go, ShowsContinueThenPlaysTheNextMap) {
  Terminal t(game({{"start", ".name Start\n.desc\nIn the start room.\n.dend\n.go hall\n"},
                   {"hall", ".name Hall\n.desc\nIn the hall.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("In the start room.")) << t.screen();
  EXPECT_FALSE(t.showing("In the hall.")) << t.screen();
  EXPECT_EQ(t.findInRow(kOptsTop, "<continue>"), 1) << t.screen();

  t.type(" ");
  ASSERT_TRUE(shows(t, "In the hall."));
  EXPECT_EQ(t.row(0), " Hall");
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(Go, ADescriptionLineThatLooksLikeGoIsJustText) {
  Terminal t(game({{"start", ".desc\n.go hall\n.dend\n.name Here\n.win\n"},
                   {"hall", ".desc\nWrong map.\n.dend\n.die\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, ".go hall"));
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(MissingMap, AMissingStartMapShowsTheLoadMessageAndEndsOnAKey) {
  Terminal t(game({{"other", ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, loadFailure("game/start.zok")));
  EXPECT_EQ(t.findInRow(kDescTop, "Could not load"), 1) << t.screen();
  ASSERT_TRUE(settles(t));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

TEST(MissingMap, GoToAMissingMapPromptsThenNamesItsPathTrailingBlankIncluded) {
  Terminal t(game({{"start", ".desc\nA crack in the wall.\n.dend\n.go hall \n"},
                   {"hall", ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_FALSE(t.showing("Could not load")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, loadFailure("game/hall .zok")));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

TEST(Endings, DieShowsTheDeathMessageAndTheGameEndsWithStatusZero) {
  Terminal t(game({{"start", ".name Pit\n.desc\nYou fall.\n.dend\n  .die  \n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("You fall.")) << t.screen();
  t.type(" ");
  // 82 characters wrap in the 78-column description pane.
  ASSERT_TRUE(shows(t, "It seems you've kicked the bucket"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.textAt(kDescTop, 1, 78), std::string(kDeath.substr(0, 78))) << t.screen();
  EXPECT_EQ(t.textAt(kDescTop + 1, 1, 4), std::string(kDeath.substr(78))) << t.screen();
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
}

TEST(Endings, WinShowsTheVictoryMessageAndTheGameEndsWithStatusZero) {
  Terminal t(game({{"start", ".name Throne\n.desc\nThe crown is yours.\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("The crown is yours.")) << t.screen();
  t.type(" ");
  ASSERT_TRUE(shows(t, kVictory));
  EXPECT_EQ(t.findInRow(kDescTop, std::string(kVictory)), 1) << t.screen();
  ASSERT_TRUE(settles(t));
  t.type(" ");
  EXPECT_EQ(t.waitExit(), Exit::code(0)) << t.screen();
  // curses is ended: the normal screen is back and the cursor shows.
  EXPECT_FALSE(t.altScreen());
  EXPECT_TRUE(t.cursorVisible());
}

TEST(Endings, AWinWithoutItsNewlineDoesNotEndTheGame) {
  // The last line ".win" has no newline: the map runs again; a description
  // pending from the previous pass then waits every time.
  Terminal t(game({{"start", ".desc\nStill here.\n.dend\n.win"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "Still here."));
  ASSERT_TRUE(shows(t, kContinue));
  for (int pass = 0; pass < 3; ++pass) {
    ASSERT_TRUE(settles(t));
    EXPECT_FALSE(t.showing("Congratulations")) << t.screen();
    t.type(" ");
  }
  ASSERT_TRUE(settles(t));
  EXPECT_TRUE(t.showing("Still here.")) << t.screen();
  EXPECT_TRUE(t.showing(kContinue)) << t.screen();
}

// --- resizing ----------------------------------------------------------------

TEST(Resize, TheNextOutputLaysThePanesOutOneColumnNarrowerThanTheScreen) {
  // 150 letters: the line wraps where the description pane ends.
  std::string line;
  for (int i = 0; i < 150; ++i) line += static_cast<char>('a' + i % 26);
  Terminal t(game({{"start", ".desc\nFirst.\n.dend\n.desc\n" + line + "\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));

  // Grow to 30 x 100: panes 99 wide; the options pane moves to column 0.
  t.resize(30, 100);
  ASSERT_TRUE(settles(t));
  t.type(" ");
  ASSERT_TRUE(shows(t, line.substr(0, 20)));
  ASSERT_TRUE(settles(t));
  const int top = kDescTop + 1;
  EXPECT_EQ(t.textAt(top, 1, 99), line.substr(0, 99)) << t.screen();
  EXPECT_EQ(t.textAt(top + 1, 1, 51), line.substr(99)) << t.screen();
  // The .win prompt: options pane from row 30 - 7 = 23, column 0.
  EXPECT_EQ(t.findInRow(23, "<continue>"), 0) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(Resize, ShrinkingLaysThePanesOutAtTheNewWidth) {
  std::string line;
  for (int i = 0; i < 100; ++i) line += static_cast<char>('A' + i % 26);
  Terminal t(game({{"start", ".desc\nFirst.\n.dend\n.desc\n" + line + "\n.dend\n.win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kContinue));

  t.resize(20, 60);  // panes 59 wide; options pane from row 15
  ASSERT_TRUE(settles(t));
  t.type(" ");
  ASSERT_TRUE(shows(t, line.substr(0, 20)));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.textAt(kDescTop + 1, 1, 59), line.substr(0, 59)) << t.screen();
  EXPECT_EQ(t.textAt(kDescTop + 2, 1, 41), line.substr(59)) << t.screen();
  EXPECT_EQ(t.findInRow(15, "<continue>"), 0) << t.screen();
  EXPECT_TRUE(endsWith(t, kVictory));
}
