// Menus as the player uses them: the highlight, the arrow keys and Enter,
// long menus, resizes while a menu waits, nested and looping lists. Every
// option's body leads somewhere that names the choice, so what shows after
// Enter proves which option ran.
//
// On 80 x 24 the options pane starts at row 18, column 1; each label is
// printed with the blank that follows ".opt".
#include <gtest/gtest.h>

#include "play.hpp"

using namespace e2e;

namespace {

constexpr int kOptsTop = 18;

const std::map<std::string, std::string> kDoors = {
    {"start",
     ".name Corridor\n"
     ".list\n"
     ".opt First door\n.go first\n.tpo\n"
     ".opt Second door\n.go second\n.tpo\n"
     ".opt Third door\n.go third\n.tpo\n"
     ".lend\n"},
    {"first", ".desc\nBehind the first door.\n.dend\n.win\n"},
    {"second", ".desc\nBehind the second door.\n.dend\n.win\n"},
    {"third", ".desc\nBehind the third door.\n.dend\n.win\n"},
};

Launch game(std::map<std::string, std::string> maps) {
  Launch l;
  l.maps = std::move(maps);
  return l;
}

// A fresh game standing at the doors menu.
testing::AssertionResult atDoors(Terminal &t) {
  if (auto r = enterGame(t); !r) return r;
  if (auto r = shows(t, " Third door"); !r) return r;
  return settles(t);
}

// After Enter on a door: the .go prompt, then the room behind it, then win.
testing::AssertionResult endsBehind(Terminal &t, std::string_view which) {
  if (auto r = shows(t, kContinue); !r) return r;
  t.type(" ");
  if (auto r = shows(t, "Behind the " + std::string(which) + " door."); !r) return r;
  return endsWith(t, kVictory);
}

bool highlighted(const Cell &c) { return c.fg == Colour::palette(0) && c.bg == Colour::palette(2); }

// Which of the screen rows [top, top + n) holds the highlight, by its
// second cell (the first letter of a label); -1 if none, -2 if several.
int highlightedRow(const Terminal &t, int top, int n, int col = 2) {
  int found = -1;
  for (int r = top; r < top + n; ++r)
    if (highlighted(t.cell(r, col))) found = found == -1 ? r : -2;
  return found;
}

}  // namespace

TEST(Menu, ShowsEachLabelOnItsOwnRowWithTheFirstHighlighted) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  EXPECT_EQ(t.row(kOptsTop), "  First door") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 1), "  Second door") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 2), "  Third door") << t.screen();

  // The highlighted label carries colour pair 2 (colour 0 on colour 2) on
  // every cell, its leading blank included; the others look like any text.
  const Cell plain = t.cell(0, 2);  // the name line's "C"
  for (int c = 1; c < 1 + 11; ++c) {
    EXPECT_EQ(t.cell(kOptsTop, c).fg, Colour::palette(0)) << "column " << c;
    EXPECT_EQ(t.cell(kOptsTop, c).bg, Colour::palette(2)) << "column " << c;
  }
  for (int r : {kOptsTop + 1, kOptsTop + 2})
    for (int c = 1; c < 1 + 12; ++c) {
      EXPECT_EQ(t.cell(r, c).fg, plain.fg) << "row " << r << " column " << c;
      EXPECT_EQ(t.cell(r, c).bg, plain.bg) << "row " << r << " column " << c;
    }
  EXPECT_NE(plain.bg, Colour::palette(2));

  t.down();
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6), kOptsTop + 1) << t.screen();
  EXPECT_EQ(t.cell(kOptsTop, 2).bg, plain.bg);
}

TEST(Menu, DownDownDownEnterPicksTheThirdAndStopsThere) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  t.down();
  t.down();
  t.down();  // already on the last: no wrap-around to the first
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6), kOptsTop + 2) << t.screen();
  t.enter();
  EXPECT_TRUE(endsBehind(t, "third"));
}

TEST(Menu, UpEnterOnAFreshMenuPicksTheFirst) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  t.up();
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6), kOptsTop) << t.screen();
  t.enter();
  EXPECT_TRUE(endsBehind(t, "first"));
}

TEST(Menu, DownUpMovesTheHighlightBack) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  t.down();
  t.down();
  t.up();
  t.enter();
  EXPECT_TRUE(endsBehind(t, "second"));
}

TEST(Menu, AnyOtherKeyRedrawsTheMenuWithTheSameSelection) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  t.down();
  t.type("q");
  t.key(VTERM_KEY_LEFT);
  t.key(static_cast<VTermKey>(VTERM_KEY_FUNCTION(1)));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  First door") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 1), "  Second door") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 2), "  Third door") << t.screen();
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6), kOptsTop + 1) << t.screen();
  t.enter();
  EXPECT_TRUE(endsBehind(t, "second"));
}

TEST(Menu, EnterSentAsANewlineByteChoosesToo) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  t.down();
  t.sendRaw("\n");
  EXPECT_TRUE(endsBehind(t, "second"));
}

TEST(Menu, LabelsKeepTheirLeadingBlanks) {
  Terminal t(game({{"start", ".list\n.opt  Open the door\n.win\n.tpo\n.lend\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "Open the door"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.findInRow(kOptsTop, "  Open the door"), 1) << t.screen();
  EXPECT_TRUE(highlighted(t.cell(kOptsTop, 1)));
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(Menu, LongerThanThePaneScrollsSoEveryOptionCanBeSeenAndChosen) {
  // Ten options in a six-row pane; option k leads to a map naming k and
  // back to the menu.
  constexpr int kOptions = 10;
  std::map<std::string, std::string> maps;
  std::string list = ".name Long menu\n.list\n";
  for (int k = 1; k <= kOptions; ++k) {
    std::string n = std::to_string(k);
    list += ".opt Option " + n + "\n.go p" + n + "\n.tpo\n";
    maps["p" + n] = ".name Picked " + n + "\n.desc\nYou picked option " + n + ".\n.dend\n.go start\n";
  }
  maps["start"] = list + ".lend\n";
  Terminal t(game(maps));
  ASSERT_TRUE(enterGame(t));

  for (int k = 1; k <= kOptions; ++k) {
    SCOPED_TRACE("option " + std::to_string(k));
    ASSERT_TRUE(shows(t, "Option 1"));
    ASSERT_TRUE(settles(t));
    for (int i = 1; i < k; ++i) t.down();
    ASSERT_TRUE(settles(t));
    // The highlighted label is on screen, inside the options pane.
    const std::string label = " Option " + std::to_string(k);
    const int r = highlightedRow(t, kOptsTop, 6);
    ASSERT_GE(r, kOptsTop) << t.screen();
    EXPECT_EQ(t.findInRow(r, label), 1) << t.screen();
    EXPECT_EQ(t.textAt(r, 1, static_cast<int>(label.size()) + 1), label + " ") << t.screen();
    for (int row = 0; row < kOptsTop; ++row)
      EXPECT_EQ(t.row(row).find("Option"), std::string::npos) << "label above the pane\n" << t.screen();
    t.enter();
    ASSERT_TRUE(shows(t, kContinue));  // leaving for the map of option k
    t.type(" ");
    ASSERT_TRUE(shows(t, "You picked option " + std::to_string(k) + "."));
    ASSERT_TRUE(settles(t));  // at its prompt back to the menu
    t.type(" ");
  }
}

TEST(Menu, AResizeWhileWaitingRedrawsTheMenuInTheNewLayout) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(atDoors(t));
  t.down();

  // 30 x 100: options pane from row 30 - 7 = 23, column 0.
  t.resize(30, 100);
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(23), " First door") << t.screen();
  EXPECT_EQ(t.row(24), " Second door") << t.screen();
  EXPECT_EQ(t.row(25), " Third door") << t.screen();
  EXPECT_EQ(highlightedRow(t, 23, 7, 1), 24) << t.screen();

  // 8 x 40: a two-row pane from row 6; the highlighted label stays in view.
  t.resize(8, 40);
  ASSERT_TRUE(settles(t));
  int r = highlightedRow(t, 6, 2, 1);
  ASSERT_GE(r, 6) << t.screen();
  EXPECT_EQ(t.findInRow(r, " Second door"), 0) << t.screen();

  t.resize(24, 80);
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), " First door") << t.screen();
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6, 1), kOptsTop + 1) << t.screen();

  // None of the resizes was taken for a choice or a move.
  t.enter();
  EXPECT_TRUE(endsBehind(t, "second"));
}

TEST(Menu, ChoosingAnOptionWithANestedListShowsTheInnerMenu) {
  Terminal t(game({{"start",
                    ".name Shop\n"
                    ".list\n"
                    ".loop\n"
                    ".opt Browse\n"
                    "  .list\n"
                    "  .opt Buy a sword\n  .desc\n  You bought a sword.\n  .dend\n  .tpo\n"
                    "  .opt Buy a shield\n  .desc\n  You bought a shield.\n  .dend\n  .tpo\n"
                    "  .lend\n"
                    ".tpo\n"
                    ".opt Leave\n.break\n.tpo\n"
                    ".lend\n"
                    ".desc\nYou leave the shop.\n.dend\n"
                    ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Leave"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  Browse") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 1), "  Leave") << t.screen();

  t.enter();  // Browse: the inner menu replaces the outer one
  ASSERT_TRUE(shows(t, "Buy a shield"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  Buy a sword") << t.screen();
  EXPECT_FALSE(t.showing("Leave")) << t.screen();

  t.down();
  t.enter();  // the shield; the looping outer list comes back
  ASSERT_TRUE(shows(t, "You bought a shield."));
  ASSERT_TRUE(shows(t, " Leave"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  Browse") << t.screen();
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6), kOptsTop) << "a shown-again menu starts at the top";

  t.down();
  t.enter();  // Leave: .break ends the loop, play goes on after .lend
  ASSERT_TRUE(shows(t, "You leave the shop."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(Menu, AListWithoutOptionsShowsNoMenuAndPlayGoesOn) {
  Terminal t(game({{"start",
                    ".name Bare\n"
                    ".list\n.lend\n"
                    ".list\n.loop\n.lend\n"
                    ".desc\nAfter the empty lists.\n.dend\n"
                    ".win\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "After the empty lists."));
  EXPECT_TRUE(endsWith(t, kVictory));
}
