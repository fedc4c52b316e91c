// Exploring a script for the author's tools: the stages of stages.hpp in
// explore mode, which reports what they recognise to the watcher instead of
// acting on it and follows every way the script can run. Its paths are
// followed one after another from a stack; a condition pushes its false
// way, a menu whose bodies can both end and break pushes the way on after
// the list. Paths meet again at a line end where their whole state agrees,
// and only the first goes on from there.
#include "interp.hpp"

#include "Word.hpp"
#include "rules.hpp"
#include "stages.hpp"

#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace stages {

struct Explore {
    const char *text;
    uint64_t budget;  // bytes left to read before exploring gives up
    bool gaveUp = false;
    std::map<std::pair<uint32_t, uint32_t>, uint8_t> bodies;  // results of option bodies explored
    uint32_t depth = 0;  // option bodies being explored inside one another
};

namespace {

constexpr int MENU_EXPLORED = -2;  // every body of a menu has been explored
constexpr uint8_t END_BIT = 1, BREAK_BIT = 2;  // results as bits (see resultBit)

Call *explored = nullptr;  // the path whose events are being reported

uint8_t resultBit(int result)
{
    switch (result) {
    case PARSE_END: return 1;
    case PARSE_BREAK: return 2;
    case PARSE_EXIT: return 4;
    case PARSE_GO: return 8;
    case PARSE_DIE: return 16;
    default: return 32;  // PARSE_WIN
    }
}


struct Path {
    Call call;
    uint32_t pos;
};

struct Hash {
    uint64_t value = 14695981039346656037ull;
    void add(uint64_t number)
    {
        value = (value ^ number) * 0x9E3779B97F4A7C15ull;
        value ^= value >> 29;
    }
    void add(const Word *word)
    {
        add(word->length);
        uint64_t piece = 0;
        for (uint32_t i = 0; i < word->length; i++) {
            piece = piece << 8 | static_cast<unsigned char>(word->text[i]);
            if (i % 8 == 7)
                add(piece), piece = 0;
        }
        add(piece);
    }
};

// Everything that decides what a path does from here and what a watcher
// hears of it. Taken at line ends outside name lines, descriptions and
// labels, where the words are short.
uint64_t digest(const Call &call, uint32_t pos)
{
    // Where the block and the list began matters only while they are open.
    const bool inList = call.main != Top;
    Hash h;
    for (const uint64_t number :
         {uint64_t{pos}, uint64_t(call.main), uint64_t(call.statementState), uint64_t(call.conditionState),
          uint64_t(call.loop), uint64_t{call.optionCount}, uint64_t(call.depth),
          uint64_t{inList ? call.blockAt : 0}, uint64_t{inList ? call.listAt : 0},
          uint64_t{inList ? call.listStart : 0}, uint64_t{call.ifAt}, uint64_t{call.branchAt},
          uint64_t(call.branch), uint64_t{call.loop ? call.loopAt : 0}, uint64_t{inList && call.ownLoop}, call.tag})
        h.add(number);
    for (const Word *word : {call.directive.get(), call.text.get(), call.line.get(), call.statement.get(),
                             call.condition.get()})
        h.add(word);
    for (int32_t i = 0; i < call.labels->count; i++)
        h.add(call.labels->items[i]);
    for (uint32_t i = 0; i < call.positions->count; i++)
        h.add(uint64_t{call.positions->items[i].start} << 32 | call.positions->items[i].end);
    return h.value;
}

bool mayMeet(const Call &call)
{
    return call.main == Top || call.main == ListBlock || call.main == OptBody;
}

uint8_t exploreCall(Explore &explore, uint32_t start, uint32_t limit);

// A notice at pos about the directive or word from first.
void noticed(const Call &call, Notice notice, Directive what, uint32_t pos, uint32_t first = NO_POS)
{
    parse_watch->noticed(notice, what, placeOf(call, first, pos));
}

// A notice about a directive whose word ends at or before pos.
void noticedAt(const Call &call, Notice notice, Directive what, uint32_t pos)
{
    noticed(call, notice, what, pos, firstLetter(call, pos, nameLength(what)));
}

// The text a directive collected, from start; the directive's word ends at
// or before last.
void collected(const Call &call, Directive what, uint32_t start, const Word *text, uint32_t last)
{
    const uint32_t first = what == Directive::Go || what == Directive::Set
                               ? call.statementFirst
                               : firstLetter(call, last, nameLength(what));
    parse_watch->collected(what, start, {text->text, text->length}, placeOf(call, first, last));
}

// The states in which a statement's words are shown as text or ignored.
bool readsStatementsAsText(MainState main)
{
    return main == NameLine || main == DescBlock || main == ListBlock;
}

// Explore: nothing takes effect; every way on is followed, and what play
// would pass by without a word is noticed.
struct Explorer {
    Explore &explore;
    std::vector<Path> &todo;
    std::unordered_set<uint64_t> &seen;
    bool &forked;
    uint8_t results = 0;
    uint32_t lineStart;

    // Words are kept whole, for the messages.
    static void token(Word *word, char ch) { append(word, ch); }

    // A condition was read: the path goes on as if it were true, and its
    // copy as if false.
    static ConditionState condition(Call &call, const Word *word, uint32_t pos)
    {
        call.takenAt = pos - 1;
        collected(call, call.branch, call.conditionAt, word, call.branchAt);
        call.forkFalse = true;
        return Normal;
    }
    static void set(Call &call, const Word *word, uint32_t pos)
    {
        collected(call, Directive::Set, call.statementAt, word, pos - 1);
    }
    static void go(Call &call, const Word *word, uint32_t pos)
    {
        collected(call, Directive::Go, call.statementAt, word, pos - 1);
    }
    // A name line, a description or a label: its text begins after its
    // directive's last letter (blockAt).
    static void name(Call &call, const Word *text, uint32_t) { block(call, Directive::Name, text); }
    static void desc(Call &call, const Word *text, uint32_t) { block(call, Directive::Desc, text); }
    static void label(Call &call, const Word *text, uint32_t) { block(call, Directive::Opt, text); }
    static void block(Call &call, Directive what, const Word *text)
    {
        collected(call, what, call.blockAt + 1, text, call.blockAt);
    }

    // Every body of the menu of the list just read is explored.
    static int menu(Call &call, const char *, uint32_t &)
    {
        PosList *positions = call.positions.get();
        call.main = Top;
        if (positions->count == 0) {  // a list with no options has nothing to choose
            clearMenu(call);
            return KEEP_GOING;
        }
        parse_watch->menu(call.listStart, positions,
                          placeOf(call, firstLetter(call, call.blockAt, nameLength(Directive::Lend)), call.blockAt));
        call.menuResults = 0;
        Explore &explore = *call.explore;
        if (explore.depth >= MAX_BODY_DEPTH) {
            // Play ends the game here, as it would at an ending.
            noticed(call, Notice::TooDeep, Directive::Lend, call.blockAt,
                    firstLetter(call, call.blockAt, nameLength(Directive::Lend)));
            call.menuResults = resultBit(PARSE_DIE);
        } else {
            explore.depth++;
            for (uint32_t i = 0; i < positions->count; i++)
                call.menuResults |= exploreCall(explore, positions->items[i].start, positions->items[i].end);
            explore.depth--;
        }
        explored = &call;
        if (call.loop && !call.ownLoop && (call.menuResults & END_BIT))
            noticed(call, Notice::LoopSpread, Directive::Loop, call.blockAt,
                    firstLetter(call, call.blockAt, nameLength(Directive::Lend)));
        clearMenu(call);
        return MENU_EXPLORED;
    }

    // ".if" or ".elif" at the blank before pos: a branch whose condition follows.
    static void openBranch(Call &call, Directive what, uint32_t pos)
    {
        if (what == Directive::If) {
            if (call.ifAt != NO_POS)
                noticedAt(call, Notice::NestedIf, what, pos - 1);
            call.ifAt = firstLetter(call, pos - 1, nameLength(what));
        }
        call.branch = what;
        call.branchAt = pos - 1;
        call.conditionAt = pos;
    }
    // ".elif" or ".else" after a branch that ran: the rest of the block is skipped.
    static void skipRest(Call &call, Directive what, uint32_t pos)
    {
        if (call.ifAt == NO_POS)
            noticedAt(call, Notice::StrayBranch, what, pos - 1);
        call.branch = what;
        call.branchAt = pos - 1;
    }
    static void closeBlock(Call &call)
    {
        call.ifAt = call.branchAt = NO_POS;
        call.branch = Directive::Fi;
    }
    // A line not skipped ends at the newline before pos with a word other
    // than ".else": play passes a ".fi" here by; it ends the block this path
    // is in.
    static void fiLine(Call &call, const Word *word, uint32_t pos)
    {
        if (isWord(word, ".fi") || hiddenByReturn(call, word, ".fi\r", Directive::Fi, pos)) {
            call.takenAt = pos - 1;
            if (call.ifAt == NO_POS && isWord(word, ".fi"))
                noticedAt(call, Notice::StrayBranch, Directive::Fi, pos - 1);
            closeBlock(call);
        } else {
            hiddenByReturn(call, word, ".else\r", Directive::Else, pos);
        }
    }
    // A skipped line ends with a word that does not end the skip.
    static void skippedLine(Call &call, const Word *word, uint32_t pos)
    {
        if (!hiddenByReturn(call, word, ".fi\r", Directive::Fi, pos) && call.conditionState == SkipBranch)
            hiddenByReturn(call, word, ".else\r", Directive::Else, pos);
    }
    static void skipEnded(Call &call, bool fi, uint32_t pos)
    {
        if (fi) {
            closeBlock(call);
        } else {
            call.branch = Directive::Else;
            call.branchAt = pos - 1;
        }
    }
    // A word ended by the blank before pos: ".else" and ".fi" must end at
    // their newline to count.
    static void endedByBlank(Call &call, const Word *word, uint32_t pos)
    {
        const bool isElse = isWord(word, ".else"), isFi = isWord(word, ".fi");
        if (isElse || isFi) {
            call.takenAt = pos - 1;
            noticedAt(call, Notice::TrailingText, isElse ? Directive::Else : Directive::Fi, pos - 1);
        }
    }
    // A word ended by the newline before pos that, but for a carriage
    // return, would have been the directive.
    static bool hiddenByReturn(Call &call, const Word *word, const char *withReturn, Directive what, uint32_t pos)
    {
        if (!isWord(word, withReturn))
            return false;
        call.takenAt = pos - 1;
        noticed(call, Notice::CarriageReturn, what, pos - 2, firstLetter(call, pos - 2, nameLength(what) + 1));
        return true;
    }
    // A statement's word ended by the byte before pos where statements are
    // not acted on.
    static void statementAsText(Call &call, const Word *word, uint32_t pos)
    {
        if (!readsStatementsAsText(call.main))
            return;
        if (isBlank(call.source[pos - 1])) {
            if (isWord(word, ".set") || isWord(word, ".go")) {
                call.takenAt = pos - 1;
                noticedAt(call, Notice::StatementAsText, isWord(word, ".go") ? Directive::Go : Directive::Set,
                          pos - 1);
            }
            return;
        }
        for (const auto &end : STATEMENT_ENDS) {
            if (isWord(word, end.word)) {
                call.takenAt = pos - 1;
                noticedAt(call, Notice::StatementAsText, end.what, pos - 1);
            }
        }
    }
    static void wordBegins(Call &call, uint32_t pos) { call.wordAt = pos; }
    // A line at the top or between options has ended at the newline before
    // pos: the watcher hears if no stage took any of its words.
    static void lineEnd(Call &call, const Word *directive, uint32_t pos)
    {
        const bool taken = call.takenAt != NO_POS && call.wordAt != NO_POS && call.takenAt >= call.wordAt;
        if (directive->length > 1 && !taken)
            noticed(call, Notice::Ignored, Directive::Name, pos - 1, call.wordAt);
    }
    static void nestedOption(Call &call, uint32_t pos)
    {
        noticedAt(call, Notice::NestedOption, Directive::Opt, pos - 1);
    }
    static void skipRanOff(Call &call, uint32_t pos) { noticed(call, Notice::SkipRunsOff, call.branch, pos); }

    // The budget: a path stops when exploring has given up.
    bool next(Call &call, const char *, uint32_t pos, uint32_t)
    {
        explored = &call;
        if (explore.budget == 0) {
            if (!explore.gaveUp)
                noticed(call, Notice::TooManyPaths, Directive::Name, pos);
            explore.gaveUp = true;
            return false;
        }
        explore.budget--;
        return true;
    }
    static void byte(const Call &call, uint32_t pos) { parse_watch->byte(pos, call.main); }
    int ended(Call &call, int result, uint32_t pos)
    {
        parse_watch->ended(result, placeOf(call, NO_POS, pos));
        results |= resultBit(result);
        return result;
    }
    // After a menu's bodies: the path goes round the list again if a body
    // can end and the list loops, and on after the list if a body can break
    // or end without the list looping; both ways fork.
    bool menuDone(Call &call, uint32_t &pos, int)
    {
        const uint8_t bodies = call.menuResults;
        results |= bodies & ~(END_BIT | BREAK_BIT);  // these leave the call from inside a body
        const bool again = call.loop && (bodies & END_BIT);
        const bool after = (bodies & BREAK_BIT) || (!call.loop && (bodies & END_BIT));
        if (again && after) {
            todo.push_back(Path{call, pos});
            forked = true;
        }
        if (again) {
            pos = call.listStart;
            call.main = ListBlock;
            call.takenAt = NO_POS;
            return seen.insert(digest(call, pos)).second;
        }
        return after;
    }
    // A condition just read forks its false way. Paths meet again where a
    // directive ends a block (a ".fi", a ".dend"): they are compared at the
    // ends of lines where one was taken.
    bool afterByte(Call &call, uint32_t pos, char ch)
    {
        if (call.forkFalse) {
            call.forkFalse = false;
            todo.push_back(Path{call, pos});
            todo.back().call.conditionState = SkipBranch;
            forked = true;
        }
        if (ch == '\n') {
            if (forked && call.takenAt != NO_POS && call.takenAt >= lineStart && mayMeet(call) &&
                !seen.insert(digest(call, pos)).second)
                return false;
            lineStart = pos;
        }
        return true;
    }
};

// Explores a call over text[start, limit), once for each slice.
uint8_t exploreCall(Explore &explore, uint32_t start, uint32_t limit)
{
    const auto key = std::make_pair(start, limit);
    if (const auto found = explore.bodies.find(key); found != explore.bodies.end())
        return found->second;
    parse_watch->enter(start, limit);
    std::vector<Path> todo(1);
    todo.back().pos = start;
    todo.back().call.explore = &explore;
    todo.back().call.source = explore.text;
    std::unordered_set<uint64_t> seen;
    bool forked = false;
    uint8_t results = 0;
    while (!todo.empty() && !explore.gaveUp) {
        Path path = std::move(todo.back());
        todo.pop_back();
        Explorer mode{explore, todo, seen, forked, 0, path.pos};
        try {
            runStages(mode, path.call, explore.text, path.pos, limit);
        } catch (PlayStopped &stop) {
            if (stop.pos == NO_POS)
                stop.pos = path.pos > start ? path.pos - 1 : start;
            throw;
        }
        results |= mode.results;
    }
    explore.bodies[key] = results;
    explored = nullptr;
    parse_watch->leave(PARSE_END);
    return results;
}

}  // namespace

void exploreScript(const char *text, uint32_t start, uint32_t limit)
{
    // A script explored in full reads each byte a few times over (nested
    // bodies, looping lists, branches that have not met again yet); far
    // more than that is a combination of branches too many to follow.
    Explore explore{text, 64ull * (limit - start) + (1u << 20), false, {}};
    struct Forget {
        ~Forget() { explored = nullptr; }
    } forget;
    exploreCall(explore, start, limit);
}

}  // namespace stages

ParsePlace parsePlace()
{
    using stages::explored;
    ParsePlace place{};
    if (!explored)
        return place;
    const stages::Call &call = *explored;
    place.block = call.main;
    place.blockAt = call.blockAt;
    place.listAt = call.listAt;
    using stages::firstLetter, stages::nameLength;
    place.blockFirst = call.blockAt == NO_POS ? NO_POS : firstLetter(call, call.blockAt, nameLength(call.blockWhat));
    place.listFirst = call.listAt == NO_POS ? NO_POS : firstLetter(call, call.listAt, nameLength(Directive::List));
    place.depth = call.depth;
    place.statement = call.statementState;
    place.condition = call.conditionState;
    place.ifAt = call.ifAt;
    place.branch = call.branch;
    place.branchAt = call.branchAt;
    place.loopAt = call.loopAt;
    place.word = {call.directive->text, call.directive->length};
    place.statementWord = {call.statement->text, call.statement->length};
    place.tag = call.tag;
    return place;
}

void setParseTag(uint64_t tag)
{
    if (stages::explored)
        stages::explored->tag = tag;
}
