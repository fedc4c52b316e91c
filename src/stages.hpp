// The interpreter's stages, written once for playing a script and for
// exploring it (interp.cpp, explore.cpp). parse_r reads a map's text one
// byte at a time and passes each byte through three stages in turn: the
// conditional stage (.if/.elif/.else/.fi), the statement stage (.set, .go,
// .break, .exit, .die, .win) and the main stage (.name, .desc/.dend,
// .list/.opt/.tpo/.lend). There is no tokenising pass; directives act the
// moment their last byte arrives.
//
// The stages and the loop that chains them are templates over a Mode, which
// says what each recognised thing does: play acts on it (a condition is
// tested, a .set sets, a name is shown, a menu waits for a choice), explore
// reports it to the watcher and follows every way on. A Mode provides:
//
//   token(word, ch)                  append ch to a word the stages compare
//   condition(call, word, pos)       the state after a condition is read
//   set(call, word, pos), go(...)    a .set text / .go target, at its newline
//   name(call, text, pos), desc(...), label(...)   the collected texts
//   menu(call, text, pos)            a list's menu (RunMenu)
//   the notices (play: nothing): openBranch, skipRest, fiLine, skippedLine,
//     skipEnded, endedByBlank, hiddenByReturn, statementAsText, wordBegins,
//     lineEnd, nestedOption
//   and for the loop: next (before each byte), byte, skipRanOff, ended,
//     menuDone (after a menu), afterByte.
// Play's notices are empty inline functions, so play compiles to the
// stages alone.
#pragma once
#include "Word.hpp"
#include "interp.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace stages {

using enum MainState;
using enum StatementState;
using enum ConditionState;

constexpr int KEEP_GOING = -1;

inline bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

struct PosListFree {
    void operator()(PosList *list) const { freePosList(list); }
};

// The seven containers one call of parse_r owns; released on every way out
// of the call. An explored path that forks takes a copy.
struct Buffers {
    WordPtr directive{newWord(32)};  // main stage's directive word
    WordPtr text{newWord(32)};       // name line, description or option label
    WordPtr line{newWord(32)};       // the description line being read
    WordPtr statement{newWord(32)};  // statement stage's word
    WordPtr condition{newWord(32)};  // conditional stage's word
    WordListPtr labels{newWordList(8)};
    std::unique_ptr<PosList, PosListFree> positions{newPosList()};

    Buffers() = default;
    Buffers(const Buffers &other);
    Buffers(Buffers &&) noexcept = default;
    Buffers &operator=(const Buffers &) = delete;
};

struct Explore;

// Everything one call of parse_r owns.
struct Call : Buffers {
    const char *source = nullptr;  // the text being run
    const Call *parent = nullptr;  // the call whose option body this one runs (play)
    MainState main = Top;
    StatementState statementState = Idle;
    ConditionState conditionState = Normal;
    uint32_t listStart = 0;  // just after ".list", where a looping list is re-read from
    int loop = 0;            // set by ".loop"; stays set for later lists of this call
    uint32_t optionCount = 0;
    int32_t depth = 0;       // ".opt"s of lists nested inside the option body being read
    uint32_t resumeAt = 0;   // play, in a menu: where the call goes on once the chosen body is run

    // Where things began, for a watcher; the rest only while exploring.
    uint32_t blockAt = NO_POS, listAt = NO_POS;
    Directive blockWhat = Directive::Name;  // the directive at blockAt
    uint32_t takenAt = NO_POS;  // the last byte at which a stage recognised something
                                // (or, exploring, noticed why it did not)
    uint32_t statementFirst = NO_POS;  // the first byte of the ".set" or ".go" being read
    Explore *explore = nullptr;
    uint32_t wordAt = NO_POS;   // the first byte of the main stage's word
    uint32_t statementAt = 0;   // the first byte of a .set text or .go target
    uint32_t conditionAt = 0;   // the first byte of a condition
    uint32_t ifAt = NO_POS, branchAt = NO_POS, loopAt = NO_POS;
    Directive branch = Directive::Fi;
    bool ownLoop = false;       // the list being read has a ".loop" of its own
    bool forkFalse = false;     // a condition was just read: go on as if false too
    uint8_t menuResults = 0;    // what the bodies of the menu just explored returned
    uint64_t tag = 0;           // the watcher's value for this path
};

// A Word that could not grow (its capacity would pass 32 bits, or memory
// ran out) stops play of the map: it cannot be read as written. The call
// that reads the byte fills in where (see play() and the explorer).
inline void grown(int failed)
{
    if (failed)
        throw PlayStopped{PlayStopped::TooLarge, NO_POS};
}

// addchar, with the common case (room left) done in place: the stages
// append nearly every byte of a script to some word.
inline void append(Word *word, char ch)
{
    if (word->length + 1 < word->capacity)
        word->text[word->length++] = ch;
    else
        grown(addchar(word, ch));
}

inline uint32_t nameLength(Directive what)
{
    static constexpr uint8_t lengths[] = {5, 5, 5, 5, 4, 4, 5, 5, 3, 4, 6, 5, 4, 4, 3, 5, 5, 3};
    return lengths[static_cast<int>(what)];
}

// The first byte of the `letters` letters of a directive's word that end at
// or before last: the word holds no blanks or line ends (a description's
// and a skip's words drop their blanks), so they are passed over.
inline uint32_t firstLetter(const Call &call, uint32_t last, uint32_t letters)
{
    for (uint32_t i = last;; i--) {
        const char ch = call.source[i];
        if (!isBlank(ch) && ch != '\n' && --letters == 0)
            return i;
        if (i == 0)
            return NO_POS;
    }
}

inline WatchPlace placeOf(const Call &call, uint32_t first, uint32_t last)
{
    return {call.main, call.conditionState, call.statementState, call.loop != 0, first, last};
}

inline void recognised(Call &call, Directive what, uint32_t pos)
{
    call.takenAt = pos;
    if (parse_watch) {
        const bool statement = what == Directive::Go || what == Directive::Set;
        const uint32_t first = statement ? call.statementFirst : firstLetter(call, pos, nameLength(what));
        parse_watch->directive(what, placeOf(call, first, pos));
    }
}

// The list just read is over: its labels and bodies go.
inline void clearMenu(Call &call)
{
    clearWordList(call.labels.get());
    clearPosList(call.positions.get());
    call.optionCount = 0;
}

// Skipping a false branch or the rest of a block: reads on by itself to
// the line that ends the skip, and leaves the byte that ends it in ch for
// the later stages. Returns false when the skip runs into the end of the text.
template <class Mode>
bool skipLines(Mode &mode, Call &call, const char *text, uint32_t &pos, char &ch)
{
    Word *word = call.condition.get();
    for (;;) {
        if (ch == '\n') {
            const bool fi = isWord(word, ".fi");
            const bool ends = fi || (call.conditionState == SkipBranch && isWord(word, ".else"));
            if (!ends)
                mode.skippedLine(call, word, pos);
            clearWord(word);
            if (ends) {
                call.conditionState = Normal;
                recognised(call, fi ? Directive::Fi : Directive::Else, pos - 1);
                mode.skipEnded(call, fi, pos);
                return true;
            }
        } else if (isBlank(ch)) {
            // Skipping a false branch, blanks end words and ".elif" opens
            // the next condition; skipping to ".fi", blanks are dropped.
            if (call.conditionState == SkipBranch) {
                const bool elif = isWord(word, ".elif");
                if (!elif)
                    mode.endedByBlank(call, word, pos);
                clearWord(word);
                if (elif) {
                    call.conditionState = Condition;
                    recognised(call, Directive::Elif, pos - 1);
                    mode.openBranch(call, Directive::Elif, pos);
                    return true;
                }
            }
        } else {
            mode.token(word, ch);
        }
        if (text[pos] == '\0')
            return false;
        ch = text[pos++];
    }
}

// Conditional stage. Returns false when a skip runs into the end of the
// text (see skipLines).
template <class Mode>
bool conditionalStage(Mode &mode, Call &call, const char *text, uint32_t &pos, char &ch)
{
    Word *word = call.condition.get();
    switch (call.conditionState) {
    case Normal:
        if (isBlank(ch)) {
            if (isWord(word, ".if")) {
                call.conditionState = Condition;
                recognised(call, Directive::If, pos - 1);
                mode.openBranch(call, Directive::If, pos);
            } else if (isWord(word, ".elif")) {
                call.conditionState = SkipBlock;  // the branch before it has run
                recognised(call, Directive::Elif, pos - 1);
                mode.skipRest(call, Directive::Elif, pos);
            } else {
                mode.endedByBlank(call, word, pos);
            }
            clearWord(word);
        } else if (ch == '\n') {
            if (isWord(word, ".else")) {
                call.conditionState = SkipBlock;
                recognised(call, Directive::Else, pos - 1);
                mode.skipRest(call, Directive::Else, pos);
            } else {
                mode.fiLine(call, word, pos);
            }
            clearWord(word);
        } else {
            mode.token(word, ch);
        }
        return true;

    case Condition:
        if (ch == '\n') {
            call.conditionState = mode.condition(call, word, pos);
            clearWord(word);
        } else if (!isBlank(ch)) {
            grown(addchar(word, ch));
        }
        return true;

    case SkipBlock:
    case SkipBranch:
        return skipLines(mode, call, text, pos, ch);
    }
    return true;
}

struct StatementEnd {
    const char *word, *withReturn;
    Directive what;
    int result;
};
inline constexpr StatementEnd STATEMENT_ENDS[] = {{".break", ".break\r", Directive::Break, PARSE_BREAK},
                                                  {".exit", ".exit\r", Directive::Exit, PARSE_EXIT},
                                                  {".die", ".die\r", Directive::Die, PARSE_DIE},
                                                  {".win", ".win\r", Directive::Win, PARSE_WIN}};

template <class Mode>
int statementStage(Mode &mode, Call &call, char ch, uint32_t pos)
{
    Word *word = call.statement.get();
    switch (call.statementState) {
    case Idle:
        if (isBlank(ch)) {
            if (call.main != Top) {
                mode.statementAsText(call, word, pos);
            } else if (isWord(word, ".set") || isWord(word, ".go")) {
                const bool set = word->length == 4;
                clearWord(word);
                call.statementState = set ? Assignment : GoTarget;
                call.statementAt = pos;
                if (parse_watch)
                    call.statementFirst = firstLetter(call, pos - 1, set ? 4 : 3);
            }
        } else if (ch == '\n') {
            if (call.main != Top) {
                mode.statementAsText(call, word, pos);
            } else {
                for (const auto &end : STATEMENT_ENDS) {
                    if (isWord(word, end.word)) {
                        recognised(call, end.what, pos - 1);
                        return end.result;
                    }
                    mode.hiddenByReturn(call, word, end.withReturn, end.what, pos);
                }
            }
            clearWord(word);
        } else {
            mode.token(word, ch);
        }
        break;

    case Assignment:
        if (ch == '\n') {
            recognised(call, Directive::Set, pos - 1);
            mode.set(call, word, pos);
            call.statementState = Idle;
            clearWord(word);
        } else {
            grown(addchar(word, ch));
        }
        break;

    case GoTarget:
        if (ch == '\n') {
            mode.go(call, word, pos);
            recognised(call, Directive::Go, pos - 1);
            return PARSE_GO;
        }
        grown(addchar(word, ch));
        break;
    }
    return KEEP_GOING;
}

// ".desc", ".name" or ".list" at the top, ".opt", ".loop" or ".lend" in a
// list: the word has just reached one's length.
inline void topWord(Call &call, Word *directive, uint32_t pos)
{
    if (isWord(directive, ".desc") || isWord(directive, ".name")) {
        const bool desc = directive->text[1] == 'd';
        clearWord(directive);
        call.main = desc ? DescBlock : NameLine;
        call.blockAt = pos - 1;
        call.blockWhat = desc ? Directive::Desc : Directive::Name;
        recognised(call, desc ? Directive::Desc : Directive::Name, pos - 1);
    } else if (isWord(directive, ".list")) {
        call.listStart = pos;
        clearWord(directive);
        call.main = ListBlock;
        call.blockAt = call.listAt = pos - 1;
        call.blockWhat = Directive::List;
        call.ownLoop = false;
        recognised(call, Directive::List, pos - 1);
    }
}

inline void listWord(Call &call, Word *directive, uint32_t pos)
{
    if (isWord(directive, ".opt")) {
        call.depth = 0;
        clearWord(directive);
        call.optionCount++;
        call.main = OptLabel;
        call.blockAt = pos - 1;
        call.blockWhat = Directive::Opt;
        recognised(call, Directive::Opt, pos - 1);
    } else if (isWord(directive, ".loop")) {
        if (!call.loop)
            call.loopAt = pos - 1;
        call.loop = 1;
        call.ownLoop = true;
        clearWord(directive);
        recognised(call, Directive::Loop, pos - 1);
    } else if (isWord(directive, ".lend")) {
        call.main = RunMenu;
        call.blockAt = pos - 1;
        call.blockWhat = Directive::Lend;
        clearWord(directive);
        recognised(call, Directive::Lend, pos - 1);
    }
}

// A description's byte: its line goes to the text at the newline, unless
// the line is ".dend", which ends it.
template <class Mode>
void descByte(Mode &mode, Call &call, Word *directive, char ch, uint32_t pos)
{
    Word *line = call.line.get();
    if (ch != '\n') {
        if (ch != '\t')
            append(line, ch);
        if (!isBlank(ch))
            mode.token(directive, ch);
        return;
    }
    Word *collected = call.text.get();
    if (isWord(directive, ".dend")) {
        call.main = Top;
        recognised(call, Directive::Dend, pos - 1);
        mode.desc(call, collected, pos);
        clearWord(collected);
    } else {
        mode.hiddenByReturn(call, directive, ".dend\r", Directive::Dend, pos);
        grown(addchar(line, '\n'));
        grown(catWords(collected, line));
    }
    clearWord(line);
    clearWord(directive);
}

// An option body's byte while the list is read: the body is only skipped
// here; it runs when chosen. Lists nested in it are counted so that their
// ".tpo"s do not close it.
template <class Mode>
void bodyByte(Mode &mode, Call &call, Word *directive, char ch, uint32_t pos)
{
    if (isBlank(ch))
        return;
    mode.token(directive, ch);
    if (directive->length != 4) {  // ".opt" and ".tpo" alike
    } else if (isWord(directive, ".opt")) {
        call.depth++;
        mode.nestedOption(call, pos);
    } else if (isWord(directive, ".tpo")) {
        if (call.depth <= 0) {
            PosList *positions = call.positions.get();
            if (positions->count > 0)
                positions->items[positions->count - 1].end = pos;
            call.main = ListBlock;
            recognised(call, Directive::Tpo, pos - 1);
        } else {
            call.depth--;
        }
    }
    if (ch == '\n')
        clearWord(directive);
}

template <class Mode>
int mainStage(Mode &mode, Call &call, const char *text, uint32_t &pos, char ch)
{
    Word *directive = call.directive.get();
    Word *collected = call.text.get();
    switch (call.main) {
    case Top:
    case ListBlock:
        if (isBlank(ch))
            break;
        if (directive->length == 0)
            mode.wordBegins(call, pos - 1);
        mode.token(directive, ch);
        if (call.main == Top && directive->length == 5)  // ".desc", ".name" and ".list" alike
            topWord(call, directive, pos);
        else if (call.main == ListBlock && (directive->length == 4 || directive->length == 5))
            listWord(call, directive, pos);  // ".opt", ".loop", ".lend"
        if (ch == '\n') {
            mode.lineEnd(call, directive, pos);
            clearWord(directive);
        }
        break;

    case NameLine:
        if (ch == '\n') {
            mode.name(call, collected, pos);
            clearWord(collected);
            call.main = Top;
        } else {
            append(collected, ch);
        }
        break;

    case DescBlock:
        descByte(mode, call, directive, ch, pos);
        break;

    case OptLabel:
        if (ch == '\n') {
            mode.label(call, collected, pos);
            WordPtr label(newWord(32));
            grown(catWords(label.get(), collected));
            clearWord(collected);
            addWordList(call.labels.get(), label.release());
            addPos(call.positions.get(), pos, pos);
            call.main = OptBody;
        } else {
            append(collected, ch);
        }
        break;

    case OptBody:
        bodyByte(mode, call, directive, ch, pos);
        break;

    case RunMenu:
        return mode.menu(call, text, pos);
    }
    return KEEP_GOING;
}

// The loop: runs the call from pos until the mode stops it or the text
// ends, and returns what ended it.
template <class Mode>
int runStages(Mode &mode, Call &call, const char *text, uint32_t &pos, uint32_t limit)
{
    for (;;) {
        if (!mode.next(call, text, pos, limit))
            return KEEP_GOING;
        char ch = text[pos++];
        if (ch == '\0' || pos > limit)
            return mode.ended(call, PARSE_END, pos - 1);
        if (call.main != OptLabel && call.main != OptBody) {
            const bool skipping = call.conditionState == SkipBlock || call.conditionState == SkipBranch;
            if (!conditionalStage(mode, call, text, pos, ch)) {
                mode.skipRanOff(call, pos);
                return mode.ended(call, PARSE_END, pos);
            }
            if (skipping && pos > limit)
                mode.skipRanOff(call, pos - 1);
        }
        mode.byte(call, pos - 1);
        if (const int result = statementStage(mode, call, ch, pos); result != KEEP_GOING)
            return mode.ended(call, result, pos - 1);
        if (const int result = mainStage(mode, call, text, pos, ch); result != KEEP_GOING) {
            if (!mode.menuDone(call, pos, result))
                return result;
            continue;
        }
        if (!mode.afterByte(call, pos, ch))
            return KEEP_GOING;
    }
}

// The innermost call of the play run going on (interp.cpp), null between
// runs; its parents lead out to the map's top call.
const Call *playingCall();

// What decides how a play call goes on once the menu it shows, or the one
// shown inside the option body it runs, is answered: where it resumes, its
// stages' states and words, its list, loop flag, depth and option count,
// appended to words. With each parent's, it is the whole of what the
// interpreter holds of a pass stopped at a menu.
void resumeState(const Call &call, std::vector<uint32_t> &words);

// The calls around a menu at which a pass stopped, innermost first (the
// call showing the menu, then the one whose body holds it ...), each as
// resumeState wrote it, with its slice. They are asked for one at a time,
// as play comes to need them: a body that ends the pass needs none.
struct PausedCalls {
    virtual ~PausedCalls() = default;
    // The next call out; false past the map's top call.
    virtual bool outer(uint32_t &start, uint32_t &limit, std::vector<uint32_t> &words) = 0;
};

// Plays a pass on from a menu that stopped it, levels calls deep, as if the
// option whose body lies at body had been chosen there: runs the body, then
// each call around it from where it stood. Returns the pass's result.
int resumePlay(const char *text, Pos body, uint32_t levels, PausedCalls &calls);

// Exploring (explore.cpp): every way the call over text[start, limit) can run.
void exploreScript(const char *text, uint32_t start, uint32_t limit);

}  // namespace stages
