// The script interpreter. parse_r reads a map's text one byte at a time and
// passes each byte through three stages in turn: the conditional stage
// (.if/.elif/.else/.fi), the statement stage (.set, .go, .break, .exit, .die,
// .win) and the main stage (.name, .desc/.dend, .list/.opt/.tpo/.lend). There
// is no tokenising pass; directives act the moment their last byte arrives.
// A chosen option's body runs as a nested parse_r call over the same text.
//
// For the author's tools the same stages can also explore a script: every
// condition is followed both ways and every option of a menu is run, one
// path of the call after another (see ParseWatch::explore).
#include "interp.hpp"

#include "VarTable.hpp"
#include "Word.hpp"
#include "display.hpp"
#include "fifo.hpp"
#include "string.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

char *go_map = nullptr;
ParseWatch *parse_watch = nullptr;

PosList *newPosList()
{
    return static_cast<PosList *>(calloc(1, sizeof(PosList)));
}

int addPos(PosList *list, uint32_t start, uint32_t end)
{
    auto *items = static_cast<Pos *>(realloc(list->items, (list->count + 1) * sizeof(Pos)));
    if (!items)
        return 0;
    list->items = items;
    list->items[list->count++] = Pos{start, end};
    return 0;
}

int clearPosList(PosList *list)
{
    free(list->items);
    list->items = nullptr;
    list->count = 0;
    return 0;
}

int freePosList(PosList *list)
{
    free(list->items);
    free(list);
    return 0;
}

// Only a regular file is a script. The path is opened without blocking, so
// a named pipe cannot hang the game, and the file actually opened is then
// examined, so nothing can be swapped in between: a pipe, a device such as
// /dev/zero or a directory is no script, and neither is a file whose size
// and terminating zero would not fit the 32-bit counts. The block is sized
// once from the file's size; should the file shrink meanwhile, reading stops
// at its end, and bytes it gains meanwhile wait for the next pass.
uint32_t readfile(char **text, const char *path)
{
    struct FileDescriptor {  // closed on every way out
        int fd;
        ~FileDescriptor()
        {
            if (fd >= 0)
                close(fd);
        }
    };
    const FileDescriptor file{open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat status;
    if (file.fd < 0 || fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    if (status.st_size < 0 || static_cast<uint64_t>(status.st_size) >= UINT32_MAX)
        return 0;
    const auto size = static_cast<uint32_t>(status.st_size);
    auto *block = static_cast<char *>(realloc(*text, size + 1));
    if (!block)
        return 0;
    *text = block;
    constexpr uint32_t CHUNK = 1u << 20;
    uint32_t total = 0;
    while (total < size) {
        const ssize_t n = read(file.fd, block + total, size - total < CHUNK ? size - total : CHUNK);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        total += static_cast<uint32_t>(n);
    }
    block[total] = '\0';
    return total + 1;
}

char *mapPath(const char *dir, const char *map)
{
    return setStringF(nullptr, "%s/%s.zok", dir, map);
}

uint32_t readMap(char **text, const char *path)
{
    return fileExists(path) ? readfile(text, path) : 0;
}

namespace {

using enum MainState;
using enum StatementState;
using enum ConditionState;

constexpr int KEEP_GOING = -1;
constexpr int MENU_EXPLORED = -2;  // exploring: every body of a menu has been explored

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

struct PosListFree {
    void operator()(PosList *list) const { freePosList(list); }
};

Word *copyWord(const Word *word)
{
    Word *copy = newWord(word->step);
    catWords(copy, word);
    return copy;
}

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
    Buffers(const Buffers &other)
        : directive(copyWord(other.directive.get())), text(copyWord(other.text.get())),
          line(copyWord(other.line.get())), statement(copyWord(other.statement.get())),
          condition(copyWord(other.condition.get()))
    {
        for (int32_t i = 0; i < other.labels->count; i++)
            addWordList(labels.get(), copyWord(other.labels->items[i]));
        for (uint32_t i = 0; i < other.positions->count; i++)
            addPos(positions.get(), other.positions->items[i].start, other.positions->items[i].end);
    }
    Buffers(Buffers &&) noexcept = default;
    Buffers &operator=(const Buffers &) = delete;
};

struct Explore;

// Everything one call of parse_r owns.
struct Call : Buffers {
    const char *source = nullptr;  // the text being run
    MainState main = Top;
    StatementState statementState = Idle;
    ConditionState conditionState = Normal;
    uint32_t listStart = 0;  // just after ".list", where a looping list is re-read from
    int loop = 0;            // set by ".loop"; stays set for later lists of this call
    uint32_t optionCount = 0;
    int32_t depth = 0;       // ".opt"s of lists nested inside the option body being read

    // Where things began, for a watcher; the rest only while exploring.
    uint32_t blockAt = NO_POS, listAt = NO_POS;
    uint32_t takenAt = NO_POS;  // the last byte at which a stage recognised something
                                // (or, exploring, noticed why it did not)
    Explore *explore = nullptr;
    uint32_t wordAt = NO_POS;   // the first byte of the main stage's word
    uint32_t statementAt = 0;   // the first byte of a .set text or .go target
    uint32_t statementFirst = NO_POS;  // the first byte of its ".set" or ".go"
    uint32_t conditionAt = 0;   // the first byte of a condition
    uint32_t ifAt = NO_POS, branchAt = NO_POS, loopAt = NO_POS;
    Directive branch = Directive::Fi;
    bool ownLoop = false;       // the list being read has a ".loop" of its own
    bool forkFalse = false;     // a condition was just read: go on as if false too
    uint8_t menuResults = 0;    // what the bodies of the menu just explored returned
    uint64_t tag = 0;           // the watcher's value for this path
};

// The words the stages compare with directive names never need more bytes
// than the longest name has: a word this long matches none, and neither does
// anything it grows into. Exploring keeps them whole for the messages.
constexpr uint32_t TOKEN_MAX = 7;

// addchar, with the common case (room left) done in place: the stages
// append nearly every byte of a script to some word.
inline void append(Word *word, char ch)
{
    if (word->length + 1 < word->capacity)
        word->text[word->length++] = ch;
    else
        addchar(word, ch);
}

void addToken(const Call &call, Word *word, char ch)
{
    if (word->length < TOKEN_MAX || call.explore)
        append(word, ch);
}

uint32_t nameLength(Directive what)
{
    static constexpr uint8_t lengths[] = {5, 5, 5, 5, 4, 4, 5, 5, 3, 4, 6, 5, 4, 4, 3, 5, 5, 3};
    return lengths[static_cast<int>(what)];
}

// The first byte of the `letters` letters of a directive's word that end at
// or before last: the word holds no blanks or line ends (a description's
// and a skip's words drop their blanks), so they are passed over.
uint32_t firstLetter(const Call &call, uint32_t last, uint32_t letters)
{
    for (uint32_t i = last;; i--) {
        const char ch = call.source[i];
        if (!isBlank(ch) && ch != '\n' && --letters == 0)
            return i;
        if (i == 0)
            return NO_POS;
    }
}

WatchPlace placeOf(const Call &call, uint32_t first, uint32_t last)
{
    return {call.main, call.conditionState, call.statementState, call.loop != 0, first, last};
}

void recognised(Call &call, Directive what, uint32_t pos)
{
    call.takenAt = pos;
    if (parse_watch) {
        const bool statement = what == Directive::Go || what == Directive::Set;
        parse_watch->directive(what, placeOf(call, statement ? call.statementFirst : firstLetter(call, pos, nameLength(what)), pos));
    }
}

// Exploring only (call.explore set) from here to conditionalStage.

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

void reportCollected(const Call &call, Directive what, uint32_t start, const Word *text, uint32_t first,
                     uint32_t last)
{
    parse_watch->collected(what, start, {text->text, text->length}, placeOf(call, first, last));
}

// ".if" or ".elif" at the blank before pos: a branch whose condition follows.
void openBranch(Call &call, Directive what, uint32_t pos)
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
void skipRest(Call &call, Directive what, uint32_t pos)
{
    if (call.ifAt == NO_POS)
        noticedAt(call, Notice::StrayBranch, what, pos - 1);
    call.branch = what;
    call.branchAt = pos - 1;
}

void closeBlock(Call &call)
{
    call.ifAt = call.branchAt = NO_POS;
    call.branch = Directive::Fi;
}

// A word ended by the blank before pos: ".else" and ".fi" must end at their
// newline to count.
void endedByBlank(Call &call, const Word *word, uint32_t pos)
{
    const bool isElse = isWord(word, ".else"), isFi = isWord(word, ".fi");
    if (isElse || isFi) {
        call.takenAt = pos - 1;
        noticedAt(call, Notice::TrailingText, isElse ? Directive::Else : Directive::Fi, pos - 1);
    }
}

// A word ended by the newline before pos that, but for a carriage return,
// would have been the directive.
bool hiddenByReturn(Call &call, const Word *word, const char *withReturn, Directive what, uint32_t pos)
{
    if (!isWord(word, withReturn))
        return false;
    call.takenAt = pos - 1;
    noticed(call, Notice::CarriageReturn, what, pos - 2, firstLetter(call, pos - 2, nameLength(what) + 1));
    return true;
}

// Conditional stage. Returns false when a skip runs into the end of the
// text. While skipping it reads on by itself; the byte that ends the skip is
// left in ch for the later stages.
bool conditionalStage(Call &call, const char *text, uint32_t &pos, char &ch)
{
    Word *word = call.condition.get();
    switch (call.conditionState) {
    case Normal:
        if (isBlank(ch)) {
            if (isWord(word, ".if")) {
                call.conditionState = Condition;
                recognised(call, Directive::If, pos - 1);
                if (call.explore)
                    openBranch(call, Directive::If, pos);
            } else if (isWord(word, ".elif")) {
                call.conditionState = SkipBlock;  // the branch before it has run
                recognised(call, Directive::Elif, pos - 1);
                if (call.explore)
                    skipRest(call, Directive::Elif, pos);
            } else if (call.explore) {
                endedByBlank(call, word, pos);
            }
            clearWord(word);
        } else if (ch == '\n') {
            if (isWord(word, ".else")) {
                call.conditionState = SkipBlock;
                recognised(call, Directive::Else, pos - 1);
                if (call.explore)
                    skipRest(call, Directive::Else, pos);
            } else if (call.explore) {
                // Play passes a ".fi" here by; it ends the block this path is in.
                if (isWord(word, ".fi") || hiddenByReturn(call, word, ".fi\r", Directive::Fi, pos)) {
                    call.takenAt = pos - 1;
                    if (call.ifAt == NO_POS && isWord(word, ".fi"))
                        noticedAt(call, Notice::StrayBranch, Directive::Fi, pos - 1);
                    closeBlock(call);
                } else {
                    hiddenByReturn(call, word, ".else\r", Directive::Else, pos);
                }
            }
            clearWord(word);
        } else {
            addToken(call, word, ch);
        }
        return true;

    case Condition:
        if (ch == '\n') {
            if (call.explore) {
                call.takenAt = pos - 1;
                reportCollected(call, call.branch, call.conditionAt, word,
                          firstLetter(call, call.branchAt, nameLength(call.branch)), call.branchAt);
                call.conditionState = Normal;
                call.forkFalse = true;
            } else {
                call.conditionState = checkVar(global_variables, word->text) ? Normal : SkipBranch;
            }
            clearWord(word);
        } else if (!isBlank(ch)) {
            addchar(word, ch);
        }
        return true;

    case SkipBlock:
    case SkipBranch:
        for (;;) {
            if (ch == '\n') {
                const bool fi = isWord(word, ".fi");
                const bool ends = fi || (call.conditionState == SkipBranch && isWord(word, ".else"));
                if (!ends && call.explore && !hiddenByReturn(call, word, ".fi\r", Directive::Fi, pos) &&
                    call.conditionState == SkipBranch)
                    hiddenByReturn(call, word, ".else\r", Directive::Else, pos);
                clearWord(word);
                if (ends) {
                    call.conditionState = Normal;
                    recognised(call, fi ? Directive::Fi : Directive::Else, pos - 1);
                    if (call.explore && fi) {
                        closeBlock(call);
                    } else if (call.explore) {
                        call.branch = Directive::Else;
                        call.branchAt = pos - 1;
                    }
                    return true;
                }
            } else if (isBlank(ch)) {
                // Skipping a false branch, blanks end words and ".elif" opens
                // the next condition; skipping to ".fi", blanks are dropped.
                if (call.conditionState == SkipBranch) {
                    const bool elif = isWord(word, ".elif");
                    if (!elif && call.explore)
                        endedByBlank(call, word, pos);
                    clearWord(word);
                    if (elif) {
                        call.conditionState = Condition;
                        recognised(call, Directive::Elif, pos - 1);
                        if (call.explore)
                            openBranch(call, Directive::Elif, pos);
                        return true;
                    }
                }
            } else {
                addToken(call, word, ch);
            }
            if (text[pos] == '\0')
                return false;
            ch = text[pos++];
        }
    }
    return true;
}

// The states in which a statement's words are shown as text or ignored.
bool readsStatementsAsText(MainState main)
{
    return main == NameLine || main == DescBlock || main == ListBlock;
}

int statementStage(Call &call, char ch, uint32_t pos)
{
    static constexpr struct {
        const char *word, *withReturn;
        Directive what;
        int result;
    } ends[] = {{".break", ".break\r", Directive::Break, PARSE_BREAK},
                {".exit", ".exit\r", Directive::Exit, PARSE_EXIT},
                {".die", ".die\r", Directive::Die, PARSE_DIE},
                {".win", ".win\r", Directive::Win, PARSE_WIN}};
    Word *word = call.statement.get();
    switch (call.statementState) {
    case Idle:
        if (isBlank(ch)) {
            if (call.main == Top) {
                if (isWord(word, ".set")) {
                    clearWord(word);
                    call.statementState = Assignment;
                    call.statementAt = pos;
                    if (parse_watch)
                        call.statementFirst = firstLetter(call, pos - 1, nameLength(Directive::Set));
                } else if (isWord(word, ".go")) {
                    clearWord(word);
                    call.statementState = GoTarget;
                    call.statementAt = pos;
                    if (parse_watch)
                        call.statementFirst = firstLetter(call, pos - 1, nameLength(Directive::Go));
                }
            } else if (call.explore && readsStatementsAsText(call.main)) {
                if (isWord(word, ".set") || isWord(word, ".go")) {
                    call.takenAt = pos - 1;
                    noticedAt(call, Notice::StatementAsText, isWord(word, ".go") ? Directive::Go : Directive::Set,
                              pos - 1);
                }
            }
        } else if (ch == '\n') {
            if (call.main == Top) {
                for (const auto &end : ends) {
                    if (isWord(word, end.word)) {
                        recognised(call, end.what, pos - 1);
                        return end.result;
                    }
                    if (call.explore)
                        hiddenByReturn(call, word, end.withReturn, end.what, pos);
                }
            } else if (call.explore && readsStatementsAsText(call.main)) {
                for (const auto &end : ends) {
                    if (isWord(word, end.word)) {
                        call.takenAt = pos - 1;
                        noticedAt(call, Notice::StatementAsText, end.what, pos - 1);
                    }
                }
            }
            clearWord(word);
        } else {
            addToken(call, word, ch);
        }
        break;

    case Assignment:
        if (ch == '\n') {
            recognised(call, Directive::Set, pos - 1);
            if (call.explore)
                reportCollected(call, Directive::Set, call.statementAt, word, call.statementFirst, pos - 1);
            else
                interpVar(global_variables, word->text);
            call.statementState = Idle;
            clearWord(word);
        } else {
            addchar(word, ch);
        }
        break;

    case GoTarget:
        if (ch == '\n') {
            if (call.explore)
                reportCollected(call, Directive::Go, call.statementAt, word, call.statementFirst, pos - 1);
            else
                go_map = setStringF(go_map, "%s", word->text);
            recognised(call, Directive::Go, pos - 1);
            return PARSE_GO;
        }
        addchar(word, ch);
        break;
    }
    return KEEP_GOING;
}

uint8_t exploreCall(Explore &explore, uint32_t start, uint32_t limit);
Call *explored = nullptr;  // the path whose events are being reported
constexpr uint8_t END_BIT = 1, BREAK_BIT = 2;  // results as bits (see resultBit)

void clearMenu(Call &call)
{
    clearWordList(call.labels.get());
    clearPosList(call.positions.get());
    call.optionCount = 0;
}

// Shows the menu of the list just read and runs the chosen body; exploring,
// runs every body.
int runMenu(Call &call, const char *text, uint32_t &pos)
{
    PosList *positions = call.positions.get();
    call.main = Top;
    if (positions->count > 0) {  // a list with no options has nothing to choose
        if (parse_watch)
            parse_watch->menu(call.listStart, positions,
                              placeOf(call, firstLetter(call, call.blockAt, nameLength(Directive::Lend)), call.blockAt));
        if (call.explore) {
            call.menuResults = 0;
            for (uint32_t i = 0; i < positions->count; i++)
                call.menuResults |= exploreCall(*call.explore, positions->items[i].start, positions->items[i].end);
            explored = &call;
            if (call.loop && !call.ownLoop && (call.menuResults & END_BIT))
                noticed(call, Notice::LoopSpread, Directive::Loop, call.blockAt,
                        firstLetter(call, call.blockAt, nameLength(Directive::Lend)));
            clearMenu(call);
            return MENU_EXPLORED;
        }
        int choice = handleOptions(call.labels.get());
        if (choice < 0)
            choice = 0;
        if (static_cast<uint32_t>(choice) >= positions->count)
            choice = static_cast<int>(positions->count - 1);
        const Pos body = positions->items[choice];
        const int result = parse_r(text, body.start, body.end);
        if (result == PARSE_EXIT || result == PARSE_GO || result == PARSE_DIE || result == PARSE_WIN)
            return result;
        if (call.loop && result != PARSE_BREAK) {
            pos = call.listStart;
            call.main = ListBlock;
        }
    }
    clearMenu(call);
    return KEEP_GOING;
}

// Exploring: a line at the top or between options has ended at the newline
// before pos; tell the watcher if no stage took any of its words.
void endOfLine(Call &call, const Word *directive, uint32_t pos)
{
    const bool taken = call.takenAt != NO_POS && call.wordAt != NO_POS && call.takenAt >= call.wordAt;
    if (directive->length > 1 && !taken)
        noticed(call, Notice::Ignored, Directive::Name, pos - 1, call.wordAt);
}

int mainStage(Call &call, const char *text, uint32_t &pos, char ch)
{
    Word *directive = call.directive.get();
    Word *collected = call.text.get();
    switch (call.main) {
    case Top:
        if (isBlank(ch))
            break;
        if (call.explore && directive->length == 0)
            call.wordAt = pos - 1;
        addToken(call, directive, ch);
        if (directive->length != 5) {  // ".desc", ".name" and ".list" alike
        } else if (isWord(directive, ".desc")) {
            clearWord(directive);
            call.main = DescBlock;
            call.blockAt = pos - 1;
            recognised(call, Directive::Desc, pos - 1);
        } else if (isWord(directive, ".name")) {
            clearWord(directive);
            call.main = NameLine;
            call.blockAt = pos - 1;
            recognised(call, Directive::Name, pos - 1);
        } else if (isWord(directive, ".list")) {
            call.listStart = pos;
            clearWord(directive);
            call.main = ListBlock;
            call.blockAt = call.listAt = pos - 1;
            call.ownLoop = false;
            recognised(call, Directive::List, pos - 1);
        }
        if (ch == '\n') {
            if (call.explore)
                endOfLine(call, directive, pos);
            clearWord(directive);
        }
        break;

    case NameLine:
        if (ch == '\n') {
            if (call.explore)
                reportCollected(call, Directive::Name, call.blockAt + 1, collected,
                          firstLetter(call, call.blockAt, nameLength(Directive::Name)), call.blockAt);
            else
                renderName(collected->text);
            clearWord(collected);
            call.main = Top;
        } else {
            append(collected, ch);
        }
        break;

    case DescBlock: {
        Word *line = call.line.get();
        if (ch != '\n') {
            if (ch != '\t')
                append(line, ch);
            if (!isBlank(ch))
                addToken(call, directive, ch);
            break;
        }
        if (isWord(directive, ".dend")) {
            call.main = Top;
            recognised(call, Directive::Dend, pos - 1);
            if (call.explore)
                reportCollected(call, Directive::Desc, call.blockAt + 1, collected,
                          firstLetter(call, call.blockAt, nameLength(Directive::Desc)), call.blockAt);
            else
                renderDesc(collected->text);
            clearWord(collected);
        } else {
            if (call.explore)
                hiddenByReturn(call, directive, ".dend\r", Directive::Dend, pos);
            addchar(line, '\n');
            catWords(collected, line);
        }
        clearWord(line);
        clearWord(directive);
        break;
    }

    case ListBlock:
        if (isBlank(ch))
            break;
        if (call.explore && directive->length == 0)
            call.wordAt = pos - 1;
        addToken(call, directive, ch);
        if (directive->length != 4 && directive->length != 5) {  // ".opt", ".loop", ".lend"
        } else if (isWord(directive, ".opt")) {
            call.depth = 0;
            clearWord(directive);
            call.optionCount++;
            call.main = OptLabel;
            call.blockAt = pos - 1;
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
            clearWord(directive);
            recognised(call, Directive::Lend, pos - 1);
        }
        if (ch == '\n') {
            if (call.explore)
                endOfLine(call, directive, pos);
            clearWord(directive);
        }
        break;

    case OptLabel:
        if (ch == '\n') {
            if (call.explore)
                reportCollected(call, Directive::Opt, call.blockAt + 1, collected,
                          firstLetter(call, call.blockAt, nameLength(Directive::Opt)), call.blockAt);
            Word *label = newWord(32);
            catWords(label, collected);
            clearWord(collected);
            addWordList(call.labels.get(), label);
            addPos(call.positions.get(), pos, pos);
            call.main = OptBody;
        } else {
            append(collected, ch);
        }
        break;

    case OptBody:
        // The body is only skipped here; it runs when chosen. Lists nested
        // in it are counted so that their ".tpo"s do not close it.
        if (isBlank(ch))
            break;
        addToken(call, directive, ch);
        if (directive->length != 4) {  // ".opt" and ".tpo" alike
        } else if (isWord(directive, ".opt")) {
            call.depth++;
            if (call.explore)
                noticedAt(call, Notice::NestedOption, Directive::Opt, pos - 1);
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
        break;

    case RunMenu:
        return runMenu(call, text, pos);
    }
    return KEEP_GOING;
}

// Whether a blank-separated word of text[from, to) after its first byte
// starts with a '.'.
bool wordStartsWithDot(const char *from, const char *to)
{
    for (const char *dot = from; (dot = static_cast<const char *>(memchr(dot, '.', to - dot))); dot++)
        if (dot > from && isBlank(dot[-1]))
            return true;
    return false;
}

// A line no stage can find a directive in: where each stage stands at the
// start of a line, only a '.' beginning a blank-separated word (or, where
// the conditional stage does not run, the line's first word) could start
// one. Returns the index of the newline that ends the line at pos when the
// line is plain, else pos. Play reads such a line in one step.
uint32_t plainLineEnd(const Call &call, const char *text, uint32_t pos, uint32_t limit)
{
    const bool statesAtRest = call.statementState == Idle && call.conditionState == Normal &&
                              (call.main == Top || call.main == DescBlock || call.main == ListBlock ||
                               call.main == OptBody);
    if (!statesAtRest || pos >= limit)
        return pos;
    const char *line = text + pos;
    const size_t first = strspn(line, " \t");
    if (line[first] == '.')
        return pos;
    const auto *newline = static_cast<const char *>(memchr(line, '\n', limit - pos));
    if (!newline || memchr(line, '\0', newline - line))
        return pos;
    // The conditional stage reads every word where it runs.
    if (call.main != OptBody && wordStartsWithDot(line, newline))
        return pos;
    return static_cast<uint32_t>(newline - text);
}

// In a description, a plain line goes to the line word (without its tabs)
// at once; elsewhere it changes nothing.
void readPlainLine(Call &call, const char *text, uint32_t from, uint32_t to)
{
    if (call.main != DescBlock)
        return;
    while (from < to) {
        const auto *tab = static_cast<const char *>(memchr(text + from, '\t', to - from));
        const uint32_t end = tab ? static_cast<uint32_t>(tab - text) : to;
        addchars(call.line.get(), text + from, end - from);
        from = end + 1;
    }
}

// The rest of a line that can change nothing but the text it holds: a
// label's (no stage but the main one reads it); a name line's when no word
// of it can start a conditional; a body's being read past, once the line's
// first word is longer than ".opt" and ".tpo". Returns the index of the
// newline, else pos, and then sets retryAt to where asking again makes sense:
// the rest of that line is read byte by byte, and scanning it again at each
// of its bytes would make reading it quadratic.
uint32_t restOfLineEnd(Call &call, const char *text, uint32_t pos, uint32_t limit, uint32_t &retryAt)
{
    const Word *word = call.condition.get();
    const bool textOnly = call.main == OptLabel || (call.main == OptBody && call.directive->length > 4) ||
                          (call.main == NameLine && call.conditionState == Normal && text[pos] != '.' &&
                           (word->length == 0 || word->text[0] != '.'));
    if (!textOnly || pos >= limit)
        return pos;
    const char *from = text + pos;
    const auto *newline = static_cast<const char *>(memchr(from, '\n', limit - pos));
    if (!newline || memchr(from, '\0', newline - from) ||
        (call.main == NameLine && wordStartsWithDot(from, newline))) {
        retryAt = newline ? static_cast<uint32_t>(newline - text) : limit;
        return pos;
    }
    const auto end = static_cast<uint32_t>(newline - text);
    if (call.main != OptBody)
        addchars(call.text.get(), from, end - pos);
    return end;
}

int run(const char *text, uint32_t start, uint32_t limit)
{
    Call call;
    call.source = text;
    uint32_t pos = start;
    const bool inSpans = !parse_watch || !parse_watch->everyByte;
    uint32_t retryAt = 0;  // the line up to here is read byte by byte
    for (;;) {
        if (inSpans) {
            uint32_t end = pos;
            if (pos == start || text[pos - 1] == '\n') {
                end = plainLineEnd(call, text, pos, limit);
                readPlainLine(call, text, pos, end);
            } else if (pos >= retryAt && (call.main == OptLabel || call.main == OptBody || call.main == NameLine)) {
                end = restOfLineEnd(call, text, pos, limit, retryAt);
            }
            if (parse_watch && end > pos)
                parse_watch->span(pos, end, call.main);
            pos = end;
        }
        char ch = text[pos++];
        if (ch == '\0' || pos > limit)
            return PARSE_END;
        if (call.main != OptLabel && call.main != OptBody &&
            !conditionalStage(call, text, pos, ch))
            return PARSE_END;
        if (parse_watch)
            parse_watch->byte(pos - 1, call.main);
        if (int result = statementStage(call, ch, pos); result != KEEP_GOING)
            return result;
        if (int result = mainStage(call, text, pos, ch); result != KEEP_GOING)
            return result;
    }
}

// Exploring a script: its paths are followed one after another from a stack;
// a condition pushes its false way, a menu whose bodies can both end and
// break pushes the way on after the list. Paths meet again at a line end
// where their whole state agrees, and only the first goes on from there.

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

struct Explore {
    const char *text;
    uint64_t budget;  // bytes left to read before exploring gives up
    bool gaveUp = false;
    std::map<std::pair<uint32_t, uint32_t>, uint8_t> bodies;  // results of option bodies explored
};


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

// Follows one path until it ends or meets one already followed; returns the
// results it can end the call with.
uint8_t follow(Explore &explore, Path &path, uint32_t limit, std::vector<Path> &todo,
               std::unordered_set<uint64_t> &seen, bool &forked)
{
    Call &call = path.call;
    uint32_t &pos = path.pos;
    const char *text = explore.text;
    uint8_t results = 0;
    uint32_t lineStart = pos;
    auto end = [&](int result, uint32_t at) {
        parse_watch->ended(result, placeOf(call, NO_POS, at));
        return static_cast<uint8_t>(results | resultBit(result));
    };
    for (;;) {
        explored = &call;
        if (explore.budget == 0) {
            if (!explore.gaveUp)
                noticed(call, Notice::TooManyPaths, Directive::Name, pos);
            explore.gaveUp = true;
            return results;
        }
        explore.budget--;
        char ch = text[pos++];
        if (ch == '\0' || pos > limit)
            return end(PARSE_END, pos - 1);
        if (call.main != OptLabel && call.main != OptBody) {
            const bool skipping = call.conditionState == SkipBlock || call.conditionState == SkipBranch;
            if (!conditionalStage(call, text, pos, ch)) {
                noticed(call, Notice::SkipRunsOff, call.branch, pos);
                return end(PARSE_END, pos);
            }
            if (skipping && pos > limit)
                noticed(call, Notice::SkipRunsOff, call.branch, pos - 1);
        }
        parse_watch->byte(pos - 1, call.main);
        if (const int result = statementStage(call, ch, pos); result != KEEP_GOING)
            return end(result, pos - 1);
        if (mainStage(call, text, pos, ch) == MENU_EXPLORED) {
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
                if (!seen.insert(digest(call, pos)).second)
                    return results;
            } else if (!after) {
                return results;
            }
            continue;
        }
        if (call.forkFalse) {
            call.forkFalse = false;
            todo.push_back(Path{call, pos});
            todo.back().call.conditionState = SkipBranch;
            forked = true;
        }
        // Paths meet again where a directive ends a block (a ".fi", a
        // ".dend"): compare them at the ends of lines where one was taken.
        if (ch == '\n') {
            if (forked && call.takenAt != NO_POS && call.takenAt >= lineStart && mayMeet(call) &&
                !seen.insert(digest(call, pos)).second)
                return results;
            lineStart = pos;
        }
    }
}

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
        results |= follow(explore, path, limit, todo, seen, forked);
    }
    explore.bodies[key] = results;
    explored = nullptr;
    parse_watch->leave(PARSE_END);
    return results;
}

}  // namespace

ParsePlace parsePlace()
{
    ParsePlace place{};
    if (!explored)
        return place;
    const Call &call = *explored;
    place.block = call.main;
    place.blockAt = call.blockAt;
    place.listAt = call.listAt;
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
    if (explored)
        explored->tag = tag;
}

int parse_r(const char *text, uint32_t start, uint32_t limit)
{
    if (!parse_watch)
        return run(text, start, limit);
    if (parse_watch->explore) {
        // A script explored in full reads each byte a few times over (nested
        // bodies, looping lists, branches that have not met again yet); far
        // more than that is a combination of branches too many to follow.
        Explore explore{text, 64ull * (limit - start) + (1u << 20), false, {}};
        struct Forget {
            ~Forget() { explored = nullptr; }
        } forget;
        exploreCall(explore, start, limit);
        return PARSE_END;
    }
    parse_watch->enter(start, limit);
    const int result = run(text, start, limit);
    parse_watch->leave(result);
    return result;
}
