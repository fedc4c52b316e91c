// The interpreter through the plain-text front end: small scripts, the lines a
// player types, and the transcript, result and next map they must give.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "VarTable.hpp"
#include "dumb_display.hpp"
#include "interp.hpp"
#include "string.hpp"

using namespace std::string_literals;
using dumb::Ending;

namespace {

constexpr int STALLED = -1;  // runText's result when the answers ran out at a prompt

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
    } catch (const dumb::InputEnded &) {
        return STALLED;
    }
}

struct Case {
    const char *what;
    std::string script;
    int code;
    std::string shown, answers = "";  // the transcript, and the lines the player types
    const char *map = "start";        // go_map afterwards
};

using Maps = std::map<std::string, std::string>;  // script text by file path

class Interp : public ::testing::Test {
protected:
    std::istringstream in;
    std::ostringstream out;

    void SetUp() override { fresh(); }

    void TearDown() override
    {
        freeVarTable(global_variables);
        free(go_map);
        global_variables = nullptr, go_map = nullptr;
    }

    // A new game: no variables, at "start", nothing shown or typed yet.
    void fresh(const std::string &answers = "")
    {
        if (global_variables)
            TearDown();
        global_variables = newVarTable(128);
        go_map = setStringF(nullptr, "%s", "start");
        in.clear();
        in.str(answers);
        out.str("");
        dumb::display.reset(in, out, true);
    }

    void check(const std::vector<Case> &cases)
    {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            fresh(c.answers);
            EXPECT_EQ(runText(c.script), c.code);
            EXPECT_EQ(out.str(), c.shown);
            EXPECT_STREQ(go_map, c.map);
            EXPECT_EQ(in.peek(), EOF) << "answers left unread";
        }
    }

    Ending play(const Maps &maps, uint32_t maxIdlePasses = 0)
    {
        return dumb::playGame([&](const std::string &path) -> std::optional<std::string> {
            const auto found = maps.find(path);
            return found == maps.end() ? std::nullopt : std::optional(found->second);
        }, maxIdlePasses);
    }

    static int32_t var(const char *name) { return getVar(global_variables, name); }
};

TEST_F(Interp, DirectivesStatementsAndDescriptionWaits)
{
    check({
        {"blanks inside directives, a name's leading blanks kept", ". na me  Great Hall\n. go hall\n", PARSE_GO,
         "==  Great Hall\n", "", "hall"},
        {"a statement needs the whole line", ".die now\nx .go hall\nx .win\n.exit please\n", PARSE_END, ""},
        {"blanks around a statement", "  .die  \n.name never\n", PARSE_DIE, ""},
        {"a statement ends the call at once", ".name A\n.win\n.name B\n", PARSE_WIN, "== A\n"},
        {".exit", ".exit\n.name B\n", PARSE_EXIT, ""},
        {".break at the top", ".break\n.name B\n", PARSE_BREAK, ""},
        {"no final newline after .win", ".name A\n.win", PARSE_END, "== A\n"},
        {"no final newline after .go", ".go hall", PARSE_END, ""},
        {"no final newline after a name line", ".name Hall", PARSE_END, ""},
        {"a zero byte ends the text", ".name A\n\0\n.name B\n"s, PARSE_END, "== A\n"},
        {"carriage returns hide .win and .dend", ".win\r\n.desc\r\nA\r\n.dend\r\n", PARSE_END, ""},
        {"descriptions drop tabs, keep spaces, show statements as text", ".descent\n\tTabbed\tline\n  spaced\n"
         ".go hall\n.die\n\t .dend \n", PARSE_END, "ent\nTabbedline\n  spaced\n.go hall\n.die\n"},
        {".desc .dend on one line shows an empty description", ".desc .dend\n.desc\nB\n.dend\n", PARSE_END,
         "[continue]\n\nB\n", "\n"},
        {".go keeps the blanks after its first", ".go  hall \n", PARSE_GO, "", "", " hall "},
        {"control bytes cannot drive the terminal", ".name \x1b]0;pwned\a\n.desc\n\x1b[2J\r\x7f\xc3\xa9\n.dend\n",
         PARSE_END, "== ^[]0;pwned^G\n\n^[[2J^M^?\xc3\xa9\n"},
        {"the second description waits, a name line between lets the next pass", ".desc\nA\n.dend\n.desc\nB\n"
         ".dend\n.name N\n.desc\nC\n.dend\n", PARSE_END, "\nA\n[continue]\n\nB\n== N\n\nC\n", "\n"},
        {"a name line first lets two pass", ".name N\n.desc\nA\n.dend\n.desc\nB\n.dend\n.desc\nC\n.dend\n",
         PARSE_END, "== N\n\nA\n\nB\n[continue]\n\nC\n", "\n"},
    });
}

TEST_F(Interp, OptionLists)
{
    const std::string again = "  (answer with a number from 1 to 2)\n> ";
    check({
        {"nested list inside a body", ".list\n.opt Outer\n  .list\n  .opt In1\n  .desc\ni1\n.dend\n  .tpo\n"
         "  .opt In2\n  .tpo\n  .lend\n.tpo\n.opt Other\n.tpo\n.lend\n.name after\n", PARSE_END, "  1) Outer\n"
         "  2) Other\n> 1\n  1) In1\n  2) In2\n> 1\n\ni1\n== after\n", "1\n1\n"},
        {"the menu asks until a line names an option", ".list\n.opt A\n.tpo\n.opt B\n.name took B\n.tpo\n.lend\n",
         PARSE_END, "  1) A\n  2) B\n> 0\n" + again + "3\n" + again + "2x\n" + again + " 2 ^M\n== took B\n",
         "0\n3\n2x\n 2 \r\n"},
        {"a looping list is re-read from just after .list", ".list .opt A\n.tpo\n.loop\n.lend\n", STALLED,
         "  1) A\n> 1\n  1) A\n> \n", "1\n"},
        {".break ends the loop, play goes on after .lend", ".list\n.loop\n.opt Look\n.desc\nlook\n.dend\n.tpo\n"
         ".opt Leave\n.break\n.tpo\n.lend\n.name out\n", PARSE_END, "  1) Look\n  2) Leave\n> 1\n\nlook\n"
         "  1) Look\n  2) Leave\n> 2\n== out\n", "1\n2\n"},
        {"the loop flag stays set for a later list", ".list\n.loop\n.opt A\n.break\n.tpo\n.lend\n.list\n.opt B\n"
         ".tpo\n.opt Done\n.break\n.tpo\n.lend\n.name end\n", PARSE_END, "  1) A\n> 1\n  1) B\n  2) Done\n> 1\n"
         "  1) B\n  2) Done\n> 2\n== end\n", "1\n1\n2\n"},
        {"a .loop in a body leaves the caller's lists alone", ".list\n.opt In\n.list\n.loop\n.opt X\n.break\n.tpo\n"
         ".lend\n.tpo\n.lend\n.list\n.opt Second\n.tpo\n.lend\n.name end\n", PARSE_END,
         "  1) In\n> 1\n  1) X\n> 1\n  1) Second\n> 1\n== end\n", "1\n1\n1\n"},
        {"a body's own list starts without the caller's loop flag", ".list\n.loop\n.opt Outer\n.list\n.opt Inner\n"
         ".tpo\n.lend\n.name inner done\n.tpo\n.opt Stop\n.break\n.tpo\n.lend\n", PARSE_END, "  1) Outer\n"
         "  2) Stop\n> 1\n  1) Inner\n> 1\n== inner done\n  1) Outer\n  2) Stop\n> 2\n", "1\n1\n2\n"},
        {".go in a body leaves list and map at once", ".list\n.loop\n.opt Cave\n.go cave\n.name never\n.tpo\n"
         ".lend\n.name never\n", PARSE_GO, "  1) Cave\n> 1\n", "1\n", "cave"},
        {".die two bodies deep", ".list\n.opt A\n.list\n.opt B\n.die\n.tpo\n.lend\n.tpo\n.lend\n", PARSE_DIE,
         "  1) A\n> 1\n  1) B\n> 1\n", "1\n1\n"},
        {"a .option line counts as a nested .opt", ".list\n.opt A\n.option trap\n.tpo\n.desc\ninside A\n.dend\n"
         ".tpo\n.opt B\n.tpo\n.lend\n", PARSE_END, "  1) A\n  2) B\n> 1\n\ninside A\n", "1\n"},
        {"labels keep their leading blanks", ".list .opt  Open the door\n.tpo\n.opt\tTabbed\n.tpo\n.lend\n",
         PARSE_END, "  1)  Open the door\n  2)\tTabbed\n> 2\n", "2\n"},
        {"an unclosed body shows no menu", ".list\n.opt A\n.name x\n.lend\n.name y\n", PARSE_END, ""},
        {".lend as the last byte shows no menu", ".list\n.opt A\n.tpo\n.lend", PARSE_END, ""},
        {"lists without options, none written or all withheld, looping or not", ".list\n.lend\n.list\n.loop\n"
         ".if key\n.opt A\n.tpo\n.fi\n.lend\n.name after\n", PARSE_END, "== after\n"},
    });
}

TEST_F(Interp, ConditionalBlocks)
{
    check({
        {"unset is false, negative is true, a block may follow .fi", ".if lamp\n.name a\n.fi\n.if lamp\n.name b\n"
         ".fi\n.set lamp -3\n.if lamp\n.name c\n.fi\n", PARSE_END, "== c\n"},
        {"empty branches: false, true, false before .else, true before .else", ".if lamp\n.fi\n.set lamp\n"
         ".if lamp\n.fi\n.if a\n.else\n.name else\n.fi\n.if lamp\n.name A\n.else\n.fi\n.name after\n", PARSE_END,
         "== else\n== A\n== after\n"},
        {"a true branch skips .elif and .else", ".set a\n.set x\n.if a\n.name A\n.elif x\n.name X\n.else\n.name E\n"
         ".fi\n.name after\n", PARSE_END, "== A\n== after\n"},
        {"false branches try each .elif in turn, then .else", ".set c\n.if a\n.name A\n.elif b\n.name B\n.elif c\n"
         ".name C\n.else\n.name E\n.fi\n.if a\n.elif k\n.name K\n.else\n.name E\n.fi\n", PARSE_END, "== C\n== E\n"},
        {"'.else ' is not recognised", ".set a\n.if a\n.name A\n.else \n.name E\n.fi\n.if b\n.else \n.name F\n"
         ".fi\n", PARSE_END, "== A\n== E\n"},
        {"stray .else and .elif skip to the next .fi", ".else\n.name hidden\n.fi\n.elif x\n.name hidden\n.fi\n"
         ".name shown\n", PARSE_END, "== shown\n"},
        {"'x .fi' and '  .fi' end a false branch", ".if a\n.name h\nx .fi\n.name s\n.if a\n.name h\n  .fi\n"
         ".name t\n", PARSE_END, "== s\n== t\n"},
        {"'  .fi' ends a skip to the end, 'x .fi' does not", ".set a\n.if a\n.else\n.name E\nx .fi\n.name hidden\n"
         "  .fi\n.name shown\n", PARSE_END, "== shown\n"},
        {"blocks do not nest", ".if a\n.if b\n.name hidden\n.fi\n.name shown\n.fi\n", PARSE_END, "== shown\n"},
        {"blanks vanish from a condition", ".set a 2\n.if a = 1\n.name two\n.fi\n.set a 1\n.if a = 1\n.name one\n"
         ".fi\n", PARSE_END, "== one\n"},
        {"a skip inside a description leaves one empty line", ".desc\n.if lamp\nlit\n.fi\n.dend\n", PARSE_END,
         "\n.if lamp\n\n"},
        {"false skip reaching the end", ".if lamp\n.name hidden\n", PARSE_END, ""},
        {"skip to the end reaching the end", ".set a\n.if a\n.else\n.name hidden", PARSE_END, ""},
        {".fi without its newline", ".if lamp\n.fi", PARSE_END, ""},
        {"a skip in a body reads on into the caller's text", ".list\n.opt A\n.if lamp\n.name hidden\n.tpo\n.lend\n"
         ".name after\n.fi\n.name end\n", PARSE_END, "  1) A\n> 1\n== after\n== end\n", "1\n"},
        {"a skip in a body reaching the end of the text", ".list\n.opt A\n.if lamp\n.tpo\n.lend\n.name after\n",
         PARSE_END, "  1) A\n> 1\n== after\n", "1\n"},
        {"a looping menu offers an option once a body set its flag", ".list\n.loop\n.opt Take key\n.set key\n.tpo\n"
         ".if key\n.opt Open door\n.go hall\n.tpo\n.fi\n.lend\n", PARSE_GO,
         "  1) Take key\n> 1\n  1) Take key\n  2) Open door\n> 2\n", "1\n2\n", "hall"},
    });
}

TEST_F(Interp, SetStoresOnlyAtTheTop)
{
    EXPECT_EQ(runText(".set gold 5\n.set \n.set  lamp\n.desc\n.set torch\n.dend\n.name .set axe\n"), PARSE_END);
    EXPECT_EQ(out.str(), "\n.set torch\n== .set axe\n");
    EXPECT_EQ(var("gold"), 5);
    // ".set " names the empty variable and sets it to 1; ".set  lamp" hands
    // " lamp" over, which sets that same variable to 0 ("lamp" is no number).
    for (const char *name : {"", "lamp", "torch", "axe"})
        EXPECT_EQ(var(name), 0) << name;
}

TEST_F(Interp, MapLoopCarriesStateAndEndsTheGame)
{
    const Maps maps = {
        {"game/start.zok", ".name Yard\n.if lamp\n.desc\nYour lamp glows.\n.dend\n.fi\n"
                           ".list\n.opt Go in\n.go hall\n.tpo\n.lend\n"},
        {"game/hall.zok", ".name Hall\n.list\n.opt Take lamp\n.set lamp\n.exit\n.tpo\n"
                          ".if lamp\n.opt Go out\n.go start\n.tpo\n.opt Go down\n.go vault\n.tpo\n.fi\n.lend\n"},
        {"game/vault.zok", ".if lamp\n.win\n.else\n.die\n.fi\n"},
    };
    const std::string hall = "== Hall\n  1) Take lamp\n  2) Go out\n  3) Go down\n> ";
    fresh("1\n\n1\n2\n\n1\n\n3\n\n\n");
    EXPECT_EQ(play(maps), Ending::Won);
    EXPECT_EQ(out.str(), "== Yard\n  1) Go in\n> 1\n[continue]\n== Hall\n  1) Take lamp\n> 1\n" + hall +
                             "2\n[continue]\n== Yard\n\nYour lamp glows.\n  1) Go in\n> 1\n[continue]\n" + hall +
                             "3\n[continue]\n[continue]\nCongratulations, victory is yours!\n");
    EXPECT_STREQ(go_map, "vault");
    EXPECT_EQ(var("lamp"), 1);

    // The description counter carries over: a map with only a description waits
    // on every pass after the first.
    fresh("\n\n");
    EXPECT_EQ(play({{"game/start.zok", ".desc\nA\n.dend\n"}}), Ending::InputEnded);
    EXPECT_EQ(out.str(), "\nA\n[continue]\n\nA\n[continue]\n\nA\n[continue]\n");

    fresh("\n\n");
    EXPECT_EQ(play({{"game/start.zok", ".go vault\n"}, {"game/vault.zok", ".die\n"}}), Ending::Died);
    EXPECT_EQ(out.str(), "[continue]\n[continue]\n"
                         "It seems you've kicked the bucket in some manner or another - good luck next time!\n");

    fresh("\n");
    EXPECT_EQ(play({{"game/start.zok", ".go  no\x1bwhere\n"}}), Ending::MapMissing);
    EXPECT_EQ(out.str(), "[continue]\nCould not load game/ no^[where.zok, press a key to quit :S\n");
}

// zokdumb itself, on a game folder of its own with piped input: what it
// prints (standard output and error) and its exit status.
using Outcome = std::pair<std::string, int>;

Outcome runZokdumb(const std::filesystem::path &dir, const std::string &input, const std::string &args = "")
{
    std::ofstream(dir / "input") << input;
    const int status = std::system(
        ("cd '" + dir.string() + "' && timeout 60 '" ZOKDUMB_BINARY "' " + args + " <input >output 2>&1").c_str());
    std::ifstream output(dir / "output");
    return {std::string(std::istreambuf_iterator<char>(output), {}), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(DumbBinary, PlaysTheGameFolderFromPipedInput)
{
    char pattern[] = "/tmp/zokdumb-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const Outcome cannotLoad("Could not load game/start.zok, press a key to quit :S\n", 0);
    EXPECT_EQ(runZokdumb(dir, ""), cannotLoad);
    std::filesystem::create_directories(dir / "game/start.zok");  // there, but no file to read
    EXPECT_EQ(runZokdumb(dir, ""), cannotLoad);

    std::filesystem::remove(dir / "game/start.zok");
    std::ofstream(dir / "game/start.zok") << ".name Hall\n.list\n.opt Win\n.win\n.tpo\n.lend\n";
    EXPECT_EQ(runZokdumb(dir, "1\n\n"),
              Outcome("== Hall\n  1) Win\n> 1\n[continue]\nCongratulations, victory is yours!\n", 0));
    EXPECT_EQ(runZokdumb(dir, ""), Outcome("== Hall\n  1) Win\n> \n", 0));  // the input ends at the menu

    std::ofstream(dir / "game/start.zok") << ".name Loop\n";
    const auto [output, status] = runZokdumb(dir, "", "--max-idle-passes 3");
    EXPECT_EQ(output.rfind("== Loop\n== Loop\n== Loop\nzokdumb: stopped after 3 passes", 0), 0u) << output;
    EXPECT_EQ(status, 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
