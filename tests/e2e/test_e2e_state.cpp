// Game state as the player experiences it: what was done in one map changes
// what later maps show and offer.
#include <gtest/gtest.h>

#include "play.hpp"

using namespace e2e;

namespace {

constexpr int kOptsTop = 18;

Launch game(std::map<std::string, std::string> maps) {
  Launch l;
  l.maps = std::move(maps);
  return l;
}

// Cellar: take the lamp or not. Hall: lit or dark; lit, it hands out gold.
// Vault: tests both, and offers the winning option only with the lamp.
const std::map<std::string, std::string> kLampGame = {
    {"start",
     ".name Cellar\n"
     ".desc\nA lamp lies on the floor.\n.dend\n"
     ".list\n"
     ".opt Take the lamp\n.set lamp\n.go hall\n.tpo\n"
     ".opt Leave it\n.go hall\n.tpo\n"
     ".lend\n"},
    {"hall",
     ".name Hall\n"
     ".if lamp\n"
     ".desc\nThe lamp lights the hall.\n.dend\n"
     ".set gold 5\n"
     ".else\n"
     ".desc\nThe hall is pitch dark.\n.dend\n"
     ".fi\n"
     ".go vault\n"},
    {"vault",
     ".name Vault\n"
     ".if gold=5\n"
     ".desc\nFive gold coins glitter in the lamplight.\n.dend\n"
     ".elif lamp\n"
     ".desc\nThe lamp went out.\n.dend\n"
     ".else\n"
     ".desc\nYou stumble in the dark.\n.dend\n"
     ".fi\n"
     ".list\n"
     ".if lamp\n"
     ".opt Pick up the coins\n.win\n.tpo\n"
     ".fi\n"
     ".opt Give up\n.die\n.tpo\n"
     ".lend\n"},
};

}  // namespace

TEST(State, TakingTheLampLightsLaterMapsAndOffersTheWinningOption) {
  Terminal t(game(kLampGame));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Leave it"));
  t.enter();  // take the lamp
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, "The lamp lights the hall."));
  EXPECT_FALSE(t.showing("pitch dark")) << t.screen();
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, "Five gold coins glitter in the lamplight."));
  ASSERT_TRUE(shows(t, " Give up"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  Pick up the coins") << t.screen();
  EXPECT_EQ(t.row(kOptsTop + 1), "  Give up") << t.screen();
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(State, LeavingTheLampKeepsLaterMapsDarkAndWithholdsTheOption) {
  Terminal t(game(kLampGame));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Leave it"));
  t.down();
  t.enter();
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, "The hall is pitch dark."));
  ASSERT_TRUE(shows(t, kContinue));
  t.type(" ");
  ASSERT_TRUE(shows(t, "You stumble in the dark."));
  ASSERT_TRUE(shows(t, " Give up"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(kOptsTop), "  Give up") << t.screen();
  EXPECT_FALSE(t.showing("Pick up the coins")) << t.screen();
  t.enter();
  EXPECT_TRUE(endsWith(t, kDeath));
}

TEST(State, ALoopingMenuOffersAnOptionOnceABodyHasSetItsFlag) {
  Terminal t(game({{"start",
                    ".name Cell\n"
                    ".list\n"
                    ".loop\n"
                    ".opt Search the straw\n"
                    ".if key\n.desc\nNothing more in the straw.\n.dend\n.else\n"
                    ".desc\nYou find a key.\n.dend\n.fi\n"
                    ".set key\n"
                    ".tpo\n"
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
  t.down();
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(State, VariablesSurviveRunningTheSameMapAgain) {
  // The map runs again after each pass; a counter set on one pass is seen
  // by the next, so the third pass wins.
  Terminal t(game({{"start",
                    ".name Stairs\n"
                    ".if step=2\n.desc\nThird step.\n.dend\n.win\n.fi\n"
                    ".if step=1\n.desc\nSecond step.\n.dend\n.set step 2\n.fi\n"
                    ".if step=0\n.desc\nFirst step.\n.dend\n.set step 1\n.fi\n"
                    ".list\n.opt Climb\n.tpo\n.lend\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "First step."));
  ASSERT_TRUE(shows(t, " Climb"));
  t.enter();
  ASSERT_TRUE(shows(t, "Second step."));
  ASSERT_TRUE(shows(t, " Climb"));
  ASSERT_TRUE(settles(t));
  t.enter();
  ASSERT_TRUE(shows(t, "Third step."));
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(State, ExitRunsTheMapAgainAtOnceEvenFromInsideAnOption) {
  // The first pass leaves by .exit from an option body: no prompt, nothing
  // after it runs, and the next pass sees the flag the body set.
  Terminal t(game({{"start",
                    ".if been\n.name Again\n.desc\nSecond visit.\n.dend\n.win\n.fi\n"
                    ".desc\nFirst visit.\n.dend\n"
                    ".list\n.opt Look around\n.set been\n.exit\n.desc\nNot this.\n.dend\n.tpo\n.lend\n"
                    ".desc\nNor this.\n.dend\n.die\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, "First visit."));
  ASSERT_TRUE(shows(t, " Look around"));
  t.enter();
  ASSERT_TRUE(shows(t, kContinue));
  EXPECT_TRUE(t.showing("Second visit.")) << t.screen();
  EXPECT_EQ(t.row(0), " Again");
  EXPECT_TRUE(endsWith(t, kVictory));
}

TEST(State, AccentedNamesAndOutOfRangeNumbersWorkAsVariables) {
  // Each test shows in its own place: the name line, the description and
  // the menu. Numbers past the 32-bit range read as the nearest limit.
  Terminal t(game({{"start",
                    ".set café\n"
                    ".set gold 99999999999\n"
                    ".set debt -99999999999\n"
                    ".if café\n.name The café is open.\n.fi\n"
                    ".if gold=2147483647\n.desc\nRich.\n.dend\n.fi\n"
                    ".list\n"
                    ".if debt=-2147483648\n.opt Pay the debt\n.win\n.tpo\n.fi\n"
                    ".opt Run\n.die\n.tpo\n"
                    ".lend\n"}}));
  ASSERT_TRUE(enterGame(t));
  ASSERT_TRUE(shows(t, " Run"));
  ASSERT_TRUE(settles(t));
  EXPECT_EQ(t.row(0), " The café is open.") << t.screen();
  EXPECT_TRUE(t.showing("Rich.")) << t.screen();
  EXPECT_EQ(t.row(kOptsTop), "  Pay the debt") << t.screen();
  t.enter();
  EXPECT_TRUE(endsWith(t, kVictory));
}
