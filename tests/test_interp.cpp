// The interpreter run headlessly: each case is a small script, the choices a
// player makes in its menus, and what the player must get to see (name lines,
// descriptions, key waits, menus) with the result code and the map to go to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VarTable.hpp"
#include "fake_display.hpp"
#include "interp.hpp"
#include "string.hpp"

using namespace std::string_literals;
using Events = std::vector<std::string>;

namespace {

// runText's result when a menu came up with no scripted choice left.
constexpr int STALLED = -1;

// Runs one map text as the map loop does, from position 0 with the limit at
// the text's size plus one. The text lives in a heap block of exactly that
// size, so a read past its terminating zero trips the sanitizer build.
int runText(const std::string &script)
{
    const size_t size = script.size() + 1;
    std::unique_ptr<char[]> text(new char[size]);
    memcpy(text.get(), script.c_str(), size);
    try {
        return parse_r(text.get(), 0, uint32_t(size));
    } catch (const fake::NoChoiceLeft &) {
        return STALLED;
    }
}

using Maps = std::map<std::string, std::string>;

// A map loop over in-memory maps, acting on the result codes as the game
// does: ".go" moves on after the "<continue>" prompt, ".die" and ".win" end
// the game after it, and the other results run the same map again. Stops at
// a missing map, a stalled menu or after maxPasses passes; returns the last
// result.
int runGame(const Maps &maps, int maxPasses = 20)
{
    int code = PARSE_END;
    for (int pass = 0; pass < maxPasses; ++pass) {
        auto found = maps.find(go_map);
        if (found == maps.end()) {
            fake::note("missing:"s + go_map);
            break;
        }
        code = runText(found->second);
        if (code == STALLED)
            break;
        if (code == PARSE_GO || code == PARSE_DIE || code == PARSE_WIN)
            fake::note("continue");
        if (code == PARSE_DIE || code == PARSE_WIN)
            break;
    }
    return code;
}

struct Case {
    const char *what;
    std::string script;
    int code;
    Events events;
    std::vector<int> choices = {};
    const char *map = "start";  // go_map afterwards
};

class Interp : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }

    void TearDown() override
    {
        freeVarTable(global_variables);
        global_variables = nullptr;
        free(go_map);
        go_map = nullptr;
    }

    // A new game: no variables, at "start", nothing shown yet.
    void fresh(std::vector<int> choices = {})
    {
        if (global_variables)
            freeVarTable(global_variables);
        global_variables = newVarTable(128);
        go_map = setStringF(go_map, "%s", "start");
        fake::reset(std::move(choices));
    }

    void check(const std::vector<Case> &cases)
    {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            fresh(c.choices);
            EXPECT_EQ(runText(c.script), c.code);
            EXPECT_EQ(fake::display.events, c.events);
            EXPECT_STREQ(go_map, c.map);
            EXPECT_TRUE(fake::display.choices.empty()) << "choices left unused";
        }
    }

    static int32_t var(const char *name) { return getVar(global_variables, name); }
};

TEST_F(Interp, DirectivesAndStatementsAreRecognisedByTheirNonBlankBytes)
{
    check({
        {"blanks inside directives", ". na me Hall\n. go hall\n", PARSE_GO,
         {"name: Hall"}, {}, "hall"},
        {"a statement needs the whole line", ".die now\nx .go hall\nx .win\n.exit please\n",
         PARSE_END, {}},
        {"blanks around a statement", "  .die  \n.name never\n", PARSE_DIE, {}},
        {"a statement ends the call at once", ".name A\n.win\n.name B\n", PARSE_WIN,
         {"name: A"}},
        {".exit", ".name A\n.exit\n.name B\n", PARSE_EXIT, {"name: A"}},
        {".break at the top", ".break\n.name B\n", PARSE_BREAK, {}},
        {"no final newline after .win", ".name A\n.win", PARSE_END, {"name: A"}},
        {"no final newline after .go", ".go hall", PARSE_END, {}},
        {"no final newline after a name line", ".name Hall", PARSE_END, {}},
        {"a zero byte ends the text", ".name A\n\0\n.name B\n"s, PARSE_END, {"name: A"}},
        {"carriage return after .win", ".win\r\n", PARSE_END, {}},
        {"carriage return after .dend", ".desc\r\nA\r\n.dend\r\n", PARSE_END, {}},
        {"name keeps both leading blanks", ".name  Great Hall\n", PARSE_END,
         {"name:  Great Hall"}},
        {"tabs dropped, spaces kept, blanks around .dend",
         ".desc\n\tTabbed\tline\n  spaced\n\t .dend \n", PARSE_END,
         {"desc:\nTabbedline\n  spaced\n"}},
        {".descent", ".descent\n.dend\n", PARSE_END, {"desc:ent\n"}},
        {".desc .dend on one line", ".desc .dend\n.name x\n", PARSE_END,
         {"desc:", "name: x"}},
        {"statements inside a description are text", ".desc\n.go hall\n.die\n.dend\n",
         PARSE_END, {"desc:\n.go hall\n.die\n"}},
        {".go keeps a trailing blank", ".go hall \n", PARSE_GO, {}, {}, "hall "},
        {".go keeps a second leading blank", ".go  hall\n", PARSE_GO, {}, {}, " hall"},
    });
}

TEST_F(Interp, DescriptionWaitsFollowTheCounter)
{
    check({
        {"second description waits", ".desc\nA\n.dend\n.desc\nB\n.dend\n", PARSE_END,
         {"desc:\nA\n", "wait", "desc:\nB\n"}},
        {"a name line first lets two pass",
         ".name N\n.desc\nA\n.dend\n.desc\nB\n.dend\n.desc\nC\n.dend\n", PARSE_END,
         {"name: N", "desc:\nA\n", "desc:\nB\n", "wait", "desc:\nC\n"}},
        {"a name line between", ".desc\nA\n.dend\n.name N\n.desc\nB\n.dend\n", PARSE_END,
         {"desc:\nA\n", "name: N", "desc:\nB\n"}},
    });

    // The counter carries from pass to pass: a map with a description only
    // waits on every pass after the first, one with a name line never does.
    fresh();
    runGame({{"start", ".desc\nA\n.dend\n"}}, 3);
    EXPECT_EQ(fake::display.events,
              (Events{"desc:\nA\n", "wait", "desc:\nA\n", "wait", "desc:\nA\n"}));
    fresh();
    runGame({{"start", ".name N\n.desc\nA\n.dend\n"}}, 3);
    EXPECT_EQ(fake::display.events, (Events{"name: N", "desc:\nA\n", "name: N", "desc:\nA\n",
                                            "name: N", "desc:\nA\n"}));
}

const std::string nested =
    ".list\n"
    ".opt Outer\n"
    "  .list\n"
    "  .opt In1\n"
    "  .desc\ni1\n.dend\n"
    "  .tpo\n"
    "  .opt In2\n"
    "  .tpo\n"
    "  .lend\n"
    ".tpo\n"
    ".opt Other\n"
    ".tpo\n"
    ".lend\n"
    ".name after\n";

TEST_F(Interp, OptionLists)
{
    check({
        {"nested list inside a body", nested, PARSE_END,
         {"menu: Outer| Other", "menu: In1| In2", "desc:\ni1\n", "name: after"}, {0, 0}},
        {"stalled inside a nested call", nested, STALLED,
         {"menu: Outer| Other", "menu: In1| In2"}, {0}},
        {"a looping list is re-read from just after .list",
         ".list .opt A\n.tpo\n.loop\n.lend\n", STALLED, {"menu: A", "menu: A"}, {0}},
        {".break ends the loop, play goes on after .lend",
         ".list\n.loop\n.opt Look\n.desc\nlook\n.dend\n.tpo\n.opt Leave\n.break\n.tpo\n"
         ".lend\n.name out\n",
         PARSE_END, {"menu: Look| Leave", "desc:\nlook\n", "menu: Look| Leave", "name: out"},
         {0, 1}},
        {"the loop flag stays set for a later list",
         ".list\n.loop\n.opt A\n.break\n.tpo\n.lend\n"
         ".list\n.opt B\n.tpo\n.opt Done\n.break\n.tpo\n.lend\n.name end\n",
         PARSE_END, {"menu: A", "menu: B| Done", "menu: B| Done", "name: end"}, {0, 0, 1}},
        {"a .loop in a body leaves the caller's lists alone",
         ".list\n.opt In\n.list\n.loop\n.opt X\n.break\n.tpo\n.lend\n.tpo\n.lend\n"
         ".list\n.opt Second\n.tpo\n.lend\n.name end\n",
         PARSE_END, {"menu: In", "menu: X", "menu: Second", "name: end"}, {0, 0, 0}},
        {"a body's own list starts without the caller's loop flag",
         ".list\n.loop\n.opt Outer\n.list\n.opt Inner\n.tpo\n.lend\n.name inner done\n.tpo\n"
         ".opt Stop\n.break\n.tpo\n.lend\n",
         PARSE_END, {"menu: Outer| Stop", "menu: Inner", "name: inner done", "menu: Outer| Stop"},
         {0, 0, 1}},
        {".go in a body leaves list and map at once",
         ".list\n.loop\n.opt Cave\n.go cave\n.name never\n.tpo\n.lend\n.name never\n",
         PARSE_GO, {"menu: Cave"}, {0}, "cave"},
        {".exit in a body", ".list\n.opt Run\n.exit\n.tpo\n.lend\n.name never\n", PARSE_EXIT,
         {"menu: Run"}, {0}},
        {".die two bodies deep", ".list\n.opt A\n.list\n.opt B\n.die\n.tpo\n.lend\n.tpo\n.lend\n",
         PARSE_DIE, {"menu: A", "menu: B"}, {0, 0}},
        {"a .option line counts as a nested .opt",
         ".list\n.opt A\n.option trap\n.tpo\n.desc\ninside A\n.dend\n.tpo\n.opt B\n.tpo\n.lend\n",
         PARSE_END, {"menu: A| B", "desc:\ninside A\n"}, {0}},
        {"labels keep their leading blanks",
         ".list .opt  Open the door\n.tpo\n.opt\tTabbed\n.tpo\n.lend\n", PARSE_END,
         {"menu:  Open the door|\tTabbed"}, {1}},
        {"an unclosed body shows no menu", ".list\n.opt A\n.name x\n.lend\n.name y\n",
         PARSE_END, {}},
        {".lend as the last byte shows no menu", ".list\n.opt A\n.tpo\n.lend", PARSE_END, {}},
        {"empty list", ".list\n.lend\n.name after\n", PARSE_END, {"name: after"}},
        {"empty looping list", ".list\n.loop\n.lend\n.name after\n", PARSE_END,
         {"name: after"}},
        {"every option withheld", ".list\n.loop\n.if key\n.opt A\n.tpo\n.fi\n.lend\n.name after\n",
         PARSE_END, {"name: after"}},
    });
}

TEST_F(Interp, ConditionalBlocks)
{
    check({
        {"unset variable is false", ".if lamp\n.name yes\n.fi\n.name after\n", PARSE_END,
         {"name: after"}},
        {"a negative value is true", ".set lamp -3\n.if lamp\n.name yes\n.fi\n", PARSE_END,
         {"name: yes"}},
        {"empty branch, false then true",
         ".if lamp\n.fi\n.name a\n.set lamp\n.if lamp\n.fi\n.name b\n", PARSE_END,
         {"name: a", "name: b"}},
        {"empty false branch", ".if lamp\n.else\n.name else\n.fi\n", PARSE_END,
         {"name: else"}},
        {"a block right after .fi", ".if lamp\n.name a\n.fi\n.if lamp\n.name b\n.fi\n.name c\n",
         PARSE_END, {"name: c"}},
        {"a true branch skips .elif and .else",
         ".set a\n.set x\n.if a\n.name A\n.elif x\n.name X\n.else\n.name E\n.fi\n.name after\n",
         PARSE_END, {"name: A", "name: after"}},
        {"false branches try each .elif in turn",
         ".set c\n.if a\n.name A\n.elif b\n.name B\n.elif c\n.name C\n.else\n.name E\n.fi\n",
         PARSE_END, {"name: C"}},
        {"no .elif holds", ".if a\n.name A\n.elif k\n.name K\n.else\n.name E\n.fi\n",
         PARSE_END, {"name: E"}},
        {"empty else branch", ".set a\n.if a\n.name A\n.else\n.fi\n.name after\n", PARSE_END,
         {"name: A", "name: after"}},
        {"'.else ' after a true branch is not recognised",
         ".set a\n.if a\n.name A\n.else \n.name E\n.fi\n", PARSE_END, {"name: A", "name: E"}},
        {"'.else ' in a false branch is not recognised",
         ".if a\n.name A\n.else \n.name E\n.fi\n.name after\n", PARSE_END, {"name: after"}},
        {"stray .else and .elif skip to the next .fi",
         ".else\n.name hidden\n.fi\n.elif x\n.name hidden\n.fi\n.name shown\n", PARSE_END,
         {"name: shown"}},
        {"indented .fi ends a false branch", ".if a\n.name hidden\n  .fi\n.name shown\n",
         PARSE_END, {"name: shown"}},
        {"indented .fi ends a skip to the end",
         ".set a\n.if a\n.name A\n.else\n.name E\n  .fi\n.name shown\n", PARSE_END,
         {"name: A", "name: shown"}},
        {"'x .fi' ends a false branch", ".if a\n.name hidden\nx .fi\n.name shown\n", PARSE_END,
         {"name: shown"}},
        {"'x .fi' does not end a skip to the end",
         ".set a\n.if a\n.name A\n.else\n.name E\nx .fi\n.name hidden\n.fi\n.name shown\n",
         PARSE_END, {"name: A", "name: shown"}},
        {"blocks do not nest", ".if a\n.if b\n.name hidden\n.fi\n.name shown\n.fi\n", PARSE_END,
         {"name: shown"}},
        {"blanks vanish from a condition",
         ".set a 2\n.if a = 1\n.name two\n.fi\n.set a 1\n.if a = 1\n.name one\n.fi\n",
         PARSE_END, {"name: one"}},
        {"a skip inside a description leaves one empty line", ".desc\n.if lamp\nlit\n.fi\n.dend\n",
         PARSE_END, {"desc:\n.if lamp\n\n"}},
        {"false skip reaching the end", ".if lamp\n.name hidden\n", PARSE_END, {}},
        {"skip to the end reaching the end", ".set a\n.if a\n.else\n.name hidden", PARSE_END,
         {}},
        {".fi without its newline", ".if lamp\n.fi", PARSE_END, {}},
        {"a skip in a body reads on into the caller's text",
         ".list\n.opt A\n.if lamp\n.name hidden\n.tpo\n.lend\n.name after\n.fi\n.name end\n",
         PARSE_END, {"menu: A", "name: after", "name: end"}, {0}},
        {"a skip in a body reaching the end of the text",
         ".list\n.opt A\n.if lamp\n.tpo\n.lend\n.name after\n", PARSE_END,
         {"menu: A", "name: after"}, {0}},
        {"a looping menu offers an option once a body set its flag",
         ".list\n.loop\n.opt Take key\n.set key\n.tpo\n"
         ".if key\n.opt Open door\n.go hall\n.tpo\n.fi\n.lend\n",
         PARSE_GO, {"menu: Take key", "menu: Take key| Open door"}, {0, 1}, "hall"},
    });
}

TEST_F(Interp, SetStoresOnlyAtTheTop)
{
    EXPECT_EQ(runText(".set gold 5\n.set \n.set  lamp\n.desc\n.set torch\n.dend\n"
                      ".name .set axe\n"),
              PARSE_END);
    EXPECT_EQ(var("gold"), 5);
    // ".set " names the empty variable and sets it to 1; ".set  lamp" hands
    // " lamp" over, which sets that same variable to 0 ("lamp" is no number).
    EXPECT_EQ(var(""), 0);
    EXPECT_EQ(var("lamp"), 0);
    EXPECT_EQ(var("torch"), 0);
    EXPECT_EQ(var("axe"), 0);
    EXPECT_EQ(fake::display.events, (Events{"desc:\n.set torch\n", "name: .set axe"}));
}

TEST_F(Interp, StateCarriesAcrossMaps)
{
    const Maps maps = {
        {"start",
         ".name Yard\n"
         ".if lamp\n.desc\nYour lamp glows.\n.dend\n.fi\n"
         ".list\n.opt Go in\n.go hall\n.tpo\n.lend\n"},
        {"hall",
         ".name Hall\n"
         ".list\n"
         ".opt Take lamp\n.set lamp\n.exit\n.tpo\n"
         ".if lamp\n"
         ".opt Go out\n.go start\n.tpo\n"
         ".opt Go down\n.go vault\n.tpo\n"
         ".fi\n"
         ".lend\n"},
        {"vault", ".if lamp\n.win\n.else\n.die\n.fi\n"},
    };
    fake::reset({0, 0, 1, 0, 2});
    EXPECT_EQ(runGame(maps), PARSE_WIN);
    EXPECT_EQ(fake::display.events, (Events{
                                         "name: Yard",
                                         "menu: Go in",
                                         "continue",
                                         "name: Hall",
                                         "menu: Take lamp",
                                         "name: Hall",
                                         "menu: Take lamp| Go out| Go down",
                                         "continue",
                                         "name: Yard",
                                         "desc:\nYour lamp glows.\n",
                                         "menu: Go in",
                                         "continue",
                                         "name: Hall",
                                         "menu: Take lamp| Go out| Go down",
                                         "continue",
                                         "continue",
                                     }));
    EXPECT_STREQ(go_map, "vault");
    EXPECT_EQ(var("lamp"), 1);
}

}  // namespace
