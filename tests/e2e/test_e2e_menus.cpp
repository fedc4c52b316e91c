// Menus and game state as the player uses them: the highlight, the arrow
// keys and Enter, long menus, resizes while a menu waits, and what a choice
// changes later on. Every option leads somewhere that names it, so what
// shows after Enter proves which option ran.
#include <gtest/gtest.h>

#include <functional>

#include "play.hpp"

using namespace e2e;

namespace {

const std::map<std::string, std::string> kDoors = {
    {"start",
     ".name Corridor\n"
     ".list\n"
     ".opt First door\n.go first\n.tpo\n"
     ".opt Second door\n.go second\n.tpo\n"
     ".opt Third door\n.go third\n.tpo\n"
     ".lend\n"},
    {"first", ".desc\nBehind door 1.\n.dend\n.win\n"},
    {"second", ".desc\nBehind door 2.\n.dend\n.win\n"},
    {"third", ".desc\nBehind door 3.\n.dend\n.win\n"},
};
const std::string kDoorLabels[] = {" First door", " Second door", " Third door"};

// Which of the rows [top, top + n) is highlighted (colour 0 on colour 2) at
// column `col`; -1 if none, -2 if several.
int highlightedRow(const Terminal &t, int top, int n, int col) {
  int found = -1;
  for (int r = top; r < top + n; ++r)
    if (t.cell(r, col).fg == 0 && t.cell(r, col).bg == 2) found = found == -1 ? r : -2;
  return found;
}

// After Enter on door k: the .go prompt, the room behind it, the win.
testing::AssertionResult endsBehind(Terminal &t, int door) {
  if (auto r = shows(t, kContinue); !r) return r;
  t.type(" ");
  if (auto r = shows(t, "Behind door " + std::to_string(door) + "."); !r) return r;
  return endsWith(t, kVictory);
}

struct Keys {
  const char *name;
  std::function<void(Terminal &)> press;
  int door;       // the one left highlighted
  bool newline;   // Enter sent as byte 10 instead of 13
};

const Keys kKeys[] = {
    {"DownDownDownStopsAtTheThird", [](Terminal &t) { t.down(); t.down(); t.down(); }, 3, false},
    {"UpOnAFreshMenuStaysOnTheFirst", [](Terminal &t) { t.up(); }, 1, false},
    {"OtherKeysRedrawWithTheSameSelection",
     [](Terminal &t) { t.down(); t.type("q"); t.key(VTERM_KEY_LEFT); }, 2, false},
    {"EnterAsNewline", [](Terminal &t) { t.down(); t.down(); t.up(); }, 2, true},
};

void PrintTo(const Keys &k, std::ostream *os) { *os << k.name; }

}  // namespace

class MenuKeys : public testing::TestWithParam<Keys> {};

TEST_P(MenuKeys, MoveTheHighlightAndEnterRunsTheHighlightedOption) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kDoorLabels[2]));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6, 2), kOptsTop) << t.screen();
  GetParam().press(t);
  ASSERT_TRUE(settles(t));

  // Each label on its row; the highlighted one in colour 0 on colour 2 on
  // every cell, its leading blank included, the others like any text.
  const Cell plain = t.cell(0, 2);  // the name line's "C"
  EXPECT_NE(plain.bg, 2);
  for (int i = 0; i < 3; ++i) {
    const int r = kOptsTop + i;
    EXPECT_EQ(t.row(r), " " + kDoorLabels[i]) << t.screen();
    const auto want = i + 1 == GetParam().door ? std::pair(0, 2) : std::pair(plain.fg, plain.bg);
    for (int c = 1; c <= static_cast<int>(kDoorLabels[i].size()); ++c)
      EXPECT_EQ(std::pair(t.cell(r, c).fg, t.cell(r, c).bg), want) << "row " << r << " column " << c;
  }
  if (GetParam().newline) t.sendRaw("\n");
  else t.enter();
  EXPECT_TRUE(endsBehind(t, GetParam().door));
}

INSTANTIATE_TEST_SUITE_P(Doors, MenuKeys, testing::ValuesIn(kKeys),
                         [](const auto &info) { return std::string(info.param.name); });

// Menus at and past the options pane's six rows on 80 x 24. Label k starts
// with "Option k" (after the blank that follows ".opt") and leads to a map
// naming k.
namespace {

struct TallMenu {
  const char *name;
  std::vector<std::string> labels;
  std::vector<std::string> firstView;  // the pane's rows when the menu first shows
};

void PrintTo(const TallMenu &m, std::ostream *os) { *os << m.name; }

std::vector<std::string> options(int n, size_t width = 0) {
  std::vector<std::string> labels;
  for (int k = 1; k <= n; ++k) {
    std::string label = " Option " + std::to_string(k);
    for (size_t i = label.size(); i < width; ++i) label += static_cast<char>('a' + i % 26);
    labels.push_back(label);
  }
  return labels;
}

const std::string kWide = options(1, 100)[0];  // " Option 1abc...": wraps on 78 columns

// Labels of 50 characters in 91 cells: a CJK character is two cells wide.
std::vector<std::string> doubleWidth(int n) {
  std::vector<std::string> labels = options(n);
  for (auto &label : labels)
    for (int i = 0; i < 41; ++i) label += "\u4e2d";
  return labels;
}

const TallMenu kTallMenus[] = {
    {"FiveFitWithARowToSpare", options(5),
     {"  Option 1", "  Option 2", "  Option 3", "  Option 4", "  Option 5", ""}},
    {"AWrappedLabelThatStillFitsShowsWhole", {kWide, " Option 2", " Option 3"},
     {" " + kWide.substr(0, 78), " " + kWide.substr(78), "  Option 2", "  Option 3", ""}},
    {"SixAsTallAsThePane", options(6),
     {"  Option 1", "  Option 2", "  Option 3", "  Option 4", "  Option 5", "  Option 6"}},
    {"FourWiderThanThePaneOneRowEach", options(4, 100),
     {" " + options(1, 77)[0], " " + options(2, 77)[1], " " + options(3, 77)[2],
      " " + options(4, 77)[3], ""}},
    {"FourOfWideCharactersWiderThanThePane", doubleWidth(4), {}},
    {"NineScroll", options(9), {}},
};

}  // namespace

class TallMenus : public testing::TestWithParam<TallMenu> {};

TEST_P(TallMenus, EveryOptionShowsHighlightedInThePaneAndTheLastIsChosen) {
  const auto &labels = GetParam().labels;
  const int n = static_cast<int>(labels.size());
  std::map<std::string, std::string> maps;
  std::string list = ".name Long menu\n.list\n";
  for (int k = 1; k <= n; ++k) {
    const std::string num = std::to_string(k);
    list += ".opt" + labels[k - 1] + "\n.go p" + num + "\n.tpo\n";
    maps["p" + num] = ".desc\nYou picked option " + num + ".\n.dend\n.win\n";
  }
  maps["start"] = list + ".lend\n";
  Terminal t(game(maps));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Option 1"));
  ASSERT_TRUE(settles(t));
  const auto &view = GetParam().firstView;
  for (size_t i = 0; i < view.size(); ++i)
    EXPECT_EQ(t.row(kOptsTop + static_cast<int>(i)), view[i]) << t.screen();
  for (int k = 1; k <= n; ++k) {
    SCOPED_TRACE("option " + std::to_string(k));
    if (k > 1) t.down();
    ASSERT_TRUE(settles(t));
    // The highlighted label starts inside the options pane (a wrapped one
    // goes on below).
    int r = kOptsTop;
    while (r < 24 && highlightedRow(t, r, 1, 2) != r) ++r;
    ASSERT_LT(r, 24) << t.screen();
    EXPECT_EQ(t.findInRow(r, " Option " + std::to_string(k)), 1) << t.screen();
    for (int row = 0; row < kOptsTop; ++row)
      EXPECT_EQ(t.row(row).find("Option"), std::string::npos) << t.screen();
  }
  t.enter();
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, "You picked option " + std::to_string(n) + "."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

INSTANTIATE_TEST_SUITE_P(Menu, TallMenus, testing::ValuesIn(kTallMenus),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Menu, AResizeWhileWaitingRedrawsTheMenuInTheNewLayout) {
  Terminal t(game(kDoors));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, kDoorLabels[2]));
  t.down();

  t.resize(30, 100);  // options pane from row 30 - 7 = 23, column 0
  ASSERT_TRUE(settles(t));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(t.row(23 + i), kDoorLabels[i]) << t.screen();
  EXPECT_EQ(highlightedRow(t, 23, 7, 1), 24) << t.screen();

  t.resize(8, 40);  // a two-row pane from row 6: the highlight stays in view
  ASSERT_TRUE(settles(t));
  const int r = highlightedRow(t, 6, 2, 1);
  ASSERT_GE(r, 6) << t.screen();
  EXPECT_EQ(t.findInRow(r, kDoorLabels[1]), 0) << t.screen();

  t.resize(24, 80);
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), kDoorLabels[0]) << t.screen();
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6, 1), kOptsTop + 1) << t.screen();
  t.enter();  // none of the resizes was a choice or a move
  EXPECT_TRUE(endsBehind(t, 2));
}

// --- state -------------------------------------------------------------------

TEST(State, AFlagSetInOneMapChangesWhatLaterMapsShowAndOffer) {
  // Cellar: take the lamp or not. Hall: lit (and gold) or dark. Vault: both
  // tested, and the winning option offered only with the lamp.
  const std::map<std::string, std::string> maps = {
      {"start",
       ".name Cellar\n.list\n"
       ".opt Take the lamp\n.set lamp\n.go hall\n.tpo\n"
       ".opt Leave it\n.go hall\n.tpo\n.lend\n"},
      {"hall",
       ".if lamp\n.desc\nThe lamp lights the hall.\n.dend\n.set gold 5\n"
       ".else\n.desc\nThe hall is pitch dark.\n.dend\n.fi\n.go vault\n"},
      {"vault",
       ".name Vault\n"
       ".if gold=5\n.desc\nFive gold coins glitter.\n.dend\n"
       ".else\n.desc\nYou stumble in the dark.\n.dend\n.fi\n"
       ".list\n.if lamp\n.opt Pick up the coins\n.win\n.tpo\n.fi\n.opt Give up\n.die\n.tpo\n.lend\n"}};
  for (bool take : {true, false}) {
    SCOPED_TRACE(take ? "lamp taken" : "lamp left");
    Terminal t(game(maps));
    ASSERT_TRUE(enterGame(t));
    ASSERT_TRUE(shows(t, " Leave it"));
    if (!take) t.down();
    t.enter();
    ASSERT_TRUE(shows(t, kContinue));
    t.type(" ");
    ASSERT_TRUE(shows(t, take ? "The lamp lights the hall." : "The hall is pitch dark."));
    ASSERT_TRUE(settles(t));  // the .go prompt
    t.type(" ");
    ASSERT_TRUE(shows(t, take ? "Five gold coins glitter." : "You stumble in the dark."));
    ASSERT_TRUE(shows(t, " Give up"));
    ASSERT_TRUE(settles(t));
    EXPECT_EQ(t.row(kOptsTop), take ? "  Pick up the coins" : "  Give up") << t.screen();
    t.enter();
    EXPECT_TRUE(endsWith(t, take ? kVictory : kDeath));
  }
}

TEST(State, ALoopingMenuOffersAnOptionOnceABodyHasSetItsFlag) {
  Terminal t(game({{"start",
                    ".name Cell\n.list\n.loop\n"
                    ".opt Search the straw\n.desc\nYou find a key.\n.dend\n.set key\n.tpo\n"
                    ".if key\n.opt Unlock the door\n.win\n.tpo\n.fi\n"
                    ".lend\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Search the straw"));
  ASSERT_TRUE(settles(t));
  EXPECT_FALSE(t.showing("Unlock")) << t.screen();
  t.enter();
  ASSERT_TRUE(shows(t, "You find a key."));
  ASSERT_TRUE(shows(t, " Unlock the door"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  Search the straw") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 1), "  Unlock the door") << t.screen();
  EXPECT_EQ(highlightedRow(t, kOptsTop, 6, 2), kOptsTop) << "a menu shown again starts at the top";
  t.down();
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}
