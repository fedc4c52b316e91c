// The script interpreter: parse_r walks a map's text byte by byte and calls
// renderName, renderDesc and handleOptions (declared in display.hpp, defined
// in game.cpp); option bodies run as nested calls.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "mapfile.hpp"  // the map file reader, for the interpreter's users

constexpr int PARSE_END = 0;
constexpr int PARSE_BREAK = 1;
constexpr int PARSE_EXIT = 10;
constexpr int PARSE_GO = 20;
constexpr int PARSE_DIE = 30;
constexpr int PARSE_WIN = 40;

// Where one option's body lies in the text: from just after its label line
// to just after the "o" of its closing ".tpo".
struct Pos {
    uint32_t start;
    uint32_t end;
};

struct PosList {
    uint32_t count;
    Pos *items;
};

PosList *newPosList();
int addPos(PosList *list, uint32_t start, uint32_t end);
int clearPosList(PosList *list);
int freePosList(PosList *list);

// Why play of a map stopped before the script gave a result, thrown out of
// parse_r (its calls release their buffers on the way): a text the map
// collects would need more memory than a Word can hold (a description of
// hundreds of millions of lines), or option bodies nest deeper than
// MAX_BODY_DEPTH. pos is the byte being read.
struct PlayStopped {
    enum Why { TooLarge, TooDeep } why;
    uint32_t pos;
};

// Runs the bytes of text at indices start .. limit - 1 (stopping early at a
// zero byte) and returns one of the PARSE_ codes.
int parse_r(const char *text, uint32_t start, uint32_t limit);

// What the interpreter recognised, as a watcher hears of it.
enum class Directive {
    Name, Desc, Dend, List, Opt, Tpo, Loop, Lend,   // main stage
    Go, Set, Break, Exit, Die, Win,                  // statement stage
    If, Elif, Else, Fi,                              // conditional stage
};

// The states of the three stages.
enum class MainState : uint8_t {
    Top = 0,
    NameLine = 5,    // the rest of a ".name" line
    DescBlock = 10,  // between ".desc" and ".dend"
    ListBlock = 20,  // between ".list" and ".lend", outside the options
    RunMenu = 25,    // the ".lend" has been read: the menu comes at the next byte
    OptLabel = 30,   // the rest of an ".opt" line
    OptBody = 35,    // an option's body, passed over while the list is read
};
enum class StatementState : uint8_t { Idle, Assignment, GoTarget };
enum class ConditionState : uint8_t {
    Normal = 0,
    Condition = 1,   // reading a condition
    SkipBlock = 3,   // skipping to ".fi": a branch of the block has run
    SkipBranch = 4,  // skipping a false branch
};

// What only an explored run notices (see ParseWatch::explore); what is the
// directive concerned.
enum class Notice : uint8_t {
    CarriageReturn,   // a word compared at a newline was the directive and a
                      // carriage return, so it was not recognised; pos: the CR
    TrailingText,     // ".else" or ".fi" ended by a blank, not by the newline
                      // it needs; pos: that blank
    StatementAsText,  // a statement in a name line, description or list,
                      // where statements are not acted on; pos: the byte
                      // that completed its words
    StrayBranch,      // ".elif", ".else" or ".fi" with no ".if" open on this path
    NestedIf,         // ".if" while a block is open on this path
    SkipRunsOff,      // a skip ran to the end of the text, or stopped past the
                      // end of the option body it started in; pos: where
    NestedOption,     // a body line beginning with ".opt" counted as the start
                      // of a nested option while the list is read; pos: its "t"
    LoopSpread,       // a list without ".loop" of its own loops after an option
                      // that does not leave, because an earlier list of the
                      // call had one; pos: its ".lend"
    Ignored,          // a line at the top or between options whose non-blank
                      // bytes no stage took (parsePlace().word); pos: its newline
    TooManyPaths,     // exploring gave up: too many combinations of branches
    TooDeep,          // a menu whose bodies would nest deeper than
                      // MAX_BODY_DEPTH, where play ends the game; pos: its ".lend"
};

// No position: a place a path has not been to.
constexpr uint32_t NO_POS = UINT32_MAX;

// Where a watched event happened: the stages' states as it is reported,
// whether the call's lists loop, and the bytes of the directive concerned:
// first its first byte (its dot), last the byte that completed it (as the
// directive event's pos); NO_POS where the event concerns none.
struct WatchPlace {
    MainState main;
    ConditionState condition;
    StatementState statement;
    bool loop;
    uint32_t first, last;
};

// Lets the author's tools follow a run: which bytes were read, what was
// recognised where, which menus were offered. Null during play. Positions
// are byte indices into the text parse_r was given.
//
// A watcher that sets explore before calling parse_r gets every way the
// script can run instead of one: the same stages read the same bytes, but
// each condition is followed both ways (true, and false with its skip), every
// option of a menu is run in turn, and a statement ends only the path it is
// on. Nothing is shown, no variable changes and go_map stays as it is; paths
// that reach the same state at the same byte are followed once, and an
// option body is explored once (enter and leave frame it, and leave then
// reports PARSE_END). The events below marked "explored" come only then;
// during an event parsePlace() tells where the path stands.
struct ParseWatch {
    bool explore = false;

    virtual ~ParseWatch() = default;
    // A call of parse_r over text[start, limit) begins, or ends with result.
    virtual void enter(uint32_t start, uint32_t limit) { (void)start, (void)limit; }
    virtual void leave(int result) { (void)result; }
    // The byte at pos reaches the statement and main stages (bytes a skip
    // swallows never do), with the main stage in state main.
    virtual void byte(uint32_t pos, MainState main) { (void)pos, (void)main; }
    // The bytes from .. to - 1 of one line, none of which any stage can act
    // on, are read at once (unless everyByte is set, which makes them come
    // one at a time through byte()).
    virtual void span(uint32_t from, uint32_t to, MainState main)
    {
        for (uint32_t pos = from; pos < to; pos++)
            byte(pos, main);
    }
    bool everyByte = false;
    // A directive took effect, from at.first to at.last: the byte that
    // completed it (for .if and .elif the blank after them, for .go and
    // .set the newline that ends the target or the text).
    virtual void directive(Directive what, const WatchPlace &at) { (void)what, (void)at; }
    // A menu is about to be shown: the list read from listStart, one body
    // per option in order; at is the ".lend".
    virtual void menu(uint32_t listStart, const PosList *bodies, const WatchPlace &at)
    {
        (void)listStart, (void)bodies, (void)at;
    }
    // Play, passing over an option body while its list is read: returns the
    // start of the line that closes the body that starts at start (the line
    // after its label), which play goes on from, or start to read the body
    // byte by byte. A watcher that plays the same text many times keeps
    // what bodyCloseLines finds.
    virtual uint32_t skipBody(const char *text, uint32_t start, uint32_t limit)
    {
        (void)text, (void)limit;
        return start;
    }

    // Explored: the text a directive collected, from its first byte start: a
    // name line (Name), a description as shown (Desc), an option label (Opt),
    // a .go target (Go), a .set text (Set), a condition with its blanks
    // dropped (If, Elif); at is the directive that began it.
    virtual void collected(Directive what, uint32_t start, std::string_view text, const WatchPlace &at)
    {
        (void)what, (void)start, (void)text, (void)at;
    }
    // Explored: at.last is the notice's pos (see Notice), at.first the first
    // byte of the directive or word concerned where there is one.
    virtual void noticed(Notice notice, Directive what, const WatchPlace &at) { (void)notice, (void)what, (void)at; }
    // Explored: one path of the call ends with result at at.last (for
    // PARSE_END, the zero byte or the end of the slice).
    virtual void ended(int result, const WatchPlace &at) { (void)result, (void)at; }
};

// Where the explored path stands, as of the event being reported. Positions
// of directives are those of the byte that completed them, as in
// ParseWatch::directive, but for ifAt; NO_POS where there is none.
struct ParsePlace {
    MainState block;
    uint32_t blockAt;   // the .name, .desc, .list, .opt or .lend that opened block
    uint32_t listAt;    // the .list of the list being read
    uint32_t blockFirst, listFirst;  // the first bytes of those two directives
    int32_t depth;      // ".opt" lines counted in the option body being read
    StatementState statement;
    ConditionState condition;
    uint32_t ifAt;      // the first byte of the .if of the block the path is in
    Directive branch;   // the branch being run or skipped (If, Elif, Else) and
    uint32_t branchAt;  // where it began; Fi and NO_POS outside any block
    uint32_t loopAt;    // the .loop that makes this call's lists loop
    std::string_view word;       // the main stage's word
    std::string_view statementWord;
    uint64_t tag;       // the watcher's own value for this path
};
ParsePlace parsePlace();

// Where option bodies close, read as play passes over them (lists nested
// in them counted), found for every line of text in one pass: element n,
// for a body that starts after the n-th line end, is the start of the line
// whose ".tpo" closes it, or its own start when it runs into the end of the
// text or a zero byte first. Lines from the first with a zero byte or no
// line end on have none.
std::vector<uint32_t> bodyCloseLines(const char *text, uint32_t size);
// Sets the watcher's value for the explored path: paths that fork from it
// inherit it, and paths with different values are never taken as one.
void setParseTag(uint64_t tag);

extern ParseWatch *parse_watch;

// The current map's name; replaced by ".go".
extern char *go_map;
