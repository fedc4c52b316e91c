// The script interpreter. parse_r reads a map's text one byte at a time and
// passes each byte through three stages in turn: the conditional stage
// (.if/.elif/.else/.fi), the statement stage (.set, .go, .break, .exit, .die,
// .win) and the main stage (.name, .desc/.dend, .list/.opt/.tpo/.lend). There
// is no tokenising pass; directives act the moment their last byte arrives.
// A chosen option's body runs as a nested parse_r call over the same text.
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

enum MainState { Top = 0, NameLine = 5, DescBlock = 10, ListBlock = 20, RunMenu = 25, OptLabel = 30, OptBody = 35 };
enum StatementState { Idle = 0, Assignment = 1, GoTarget = 2 };
enum ConditionState { Normal = 0, Condition = 1, SkipBlock = 3, SkipBranch = 4 };

constexpr int KEEP_GOING = -1;

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

void recognised(Directive what, uint32_t pos)
{
    if (parse_watch)
        parse_watch->directive(what, pos);
}

struct PosListFree {
    void operator()(PosList *list) const { freePosList(list); }
};

// Everything one call of parse_r owns; released on every way out of the call.
struct Call {
    WordPtr directive{newWord(32)};  // main stage's directive word
    WordPtr text{newWord(32)};       // name line, description or option label
    WordPtr line{newWord(32)};       // the description line being read
    WordPtr statement{newWord(32)};  // statement stage's word
    WordPtr condition{newWord(32)};  // conditional stage's word
    WordListPtr labels{newWordList(8)};
    std::unique_ptr<PosList, PosListFree> positions{newPosList()};

    int main = Top;
    int statementState = Idle;
    int conditionState = Normal;
    uint32_t listStart = 0;  // just after ".list", where a looping list is re-read from
    int loop = 0;            // set by ".loop"; stays set for later lists of this call
    uint32_t optionCount = 0;
    int32_t depth = 0;       // ".opt"s of lists nested inside the option body being read
};

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
                recognised(Directive::If, pos - 1);
            } else if (isWord(word, ".elif")) {
                call.conditionState = SkipBlock;  // the branch before it has run
                recognised(Directive::Elif, pos - 1);
            }
            clearWord(word);
        } else if (ch == '\n') {
            if (isWord(word, ".else")) {
                call.conditionState = SkipBlock;
                recognised(Directive::Else, pos - 1);
            }
            clearWord(word);
        } else {
            addchar(word, ch);
        }
        return true;

    case Condition:
        if (ch == '\n') {
            call.conditionState = checkVar(global_variables, word->text) ? Normal : SkipBranch;
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
                clearWord(word);
                if (ends) {
                    call.conditionState = Normal;
                    recognised(fi ? Directive::Fi : Directive::Else, pos - 1);
                    return true;
                }
            } else if (isBlank(ch)) {
                // Skipping a false branch, blanks end words and ".elif" opens
                // the next condition; skipping to ".fi", blanks are dropped.
                if (call.conditionState == SkipBranch) {
                    const bool elif = isWord(word, ".elif");
                    clearWord(word);
                    if (elif) {
                        call.conditionState = Condition;
                        recognised(Directive::Elif, pos - 1);
                        return true;
                    }
                }
            } else {
                addchar(word, ch);
            }
            if (text[pos] == '\0')
                return false;
            ch = text[pos++];
        }
    }
    return true;
}

int statementStage(Call &call, char ch, uint32_t pos)
{
    Word *word = call.statement.get();
    switch (call.statementState) {
    case Idle:
        if (isBlank(ch)) {
            if (call.main == Top) {
                if (isWord(word, ".set")) {
                    clearWord(word);
                    call.statementState = Assignment;
                } else if (isWord(word, ".go")) {
                    clearWord(word);
                    call.statementState = GoTarget;
                }
            }
        } else if (ch == '\n') {
            if (call.main == Top) {
                static constexpr struct {
                    const char *word;
                    Directive what;
                    int result;
                } ends[] = {{".break", Directive::Break, PARSE_BREAK},
                            {".exit", Directive::Exit, PARSE_EXIT},
                            {".die", Directive::Die, PARSE_DIE},
                            {".win", Directive::Win, PARSE_WIN}};
                for (const auto &end : ends) {
                    if (isWord(word, end.word)) {
                        recognised(end.what, pos - 1);
                        return end.result;
                    }
                }
            }
            clearWord(word);
        } else {
            addchar(word, ch);
        }
        break;

    case Assignment:
        if (ch == '\n') {
            recognised(Directive::Set, pos - 1);
            interpVar(global_variables, word->text);
            call.statementState = Idle;
            clearWord(word);
        } else {
            addchar(word, ch);
        }
        break;

    case GoTarget:
        if (ch == '\n') {
            go_map = setStringF(go_map, "%s", word->text);
            recognised(Directive::Go, pos - 1);
            return PARSE_GO;
        }
        addchar(word, ch);
        break;
    }
    return KEEP_GOING;
}

// Shows the menu of the list just read and runs the chosen body.
int runMenu(Call &call, const char *text, uint32_t &pos)
{
    PosList *positions = call.positions.get();
    call.main = Top;
    if (positions->count > 0) {  // a list with no options has nothing to choose
        if (parse_watch)
            parse_watch->menu(call.listStart, positions);
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
    clearWordList(call.labels.get());
    clearPosList(positions);
    call.optionCount = 0;
    return KEEP_GOING;
}

int mainStage(Call &call, const char *text, uint32_t &pos, char ch)
{
    Word *directive = call.directive.get();
    Word *collected = call.text.get();
    switch (call.main) {
    case Top:
        if (isBlank(ch))
            break;
        addchar(directive, ch);
        if (isWord(directive, ".desc")) {
            clearWord(directive);
            call.main = DescBlock;
            recognised(Directive::Desc, pos - 1);
        } else if (isWord(directive, ".name")) {
            clearWord(directive);
            call.main = NameLine;
            recognised(Directive::Name, pos - 1);
        } else if (isWord(directive, ".list")) {
            call.listStart = pos;
            clearWord(directive);
            call.main = ListBlock;
            recognised(Directive::List, pos - 1);
        }
        if (ch == '\n')
            clearWord(directive);
        break;

    case NameLine:
        if (ch == '\n') {
            renderName(collected->text);
            clearWord(collected);
            call.main = Top;
        } else {
            addchar(collected, ch);
        }
        break;

    case DescBlock: {
        Word *line = call.line.get();
        if (ch != '\n') {
            if (ch != '\t')
                addchar(line, ch);
            if (!isBlank(ch))
                addchar(directive, ch);
            break;
        }
        if (isWord(directive, ".dend")) {
            call.main = Top;
            recognised(Directive::Dend, pos - 1);
            renderDesc(collected->text);
            clearWord(collected);
        } else {
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
        addchar(directive, ch);
        if (isWord(directive, ".opt")) {
            call.depth = 0;
            clearWord(directive);
            call.optionCount++;
            call.main = OptLabel;
            recognised(Directive::Opt, pos - 1);
        } else if (isWord(directive, ".loop")) {
            call.loop = 1;
            clearWord(directive);
            recognised(Directive::Loop, pos - 1);
        } else if (isWord(directive, ".lend")) {
            call.main = RunMenu;
            clearWord(directive);
            recognised(Directive::Lend, pos - 1);
        }
        if (ch == '\n')
            clearWord(directive);
        break;

    case OptLabel:
        if (ch == '\n') {
            Word *label = newWord(32);
            catWords(label, collected);
            clearWord(collected);
            addWordList(call.labels.get(), label);
            addPos(call.positions.get(), pos, pos);
            call.main = OptBody;
        } else {
            addchar(collected, ch);
        }
        break;

    case OptBody:
        // The body is only skipped here; it runs when chosen. Lists nested
        // in it are counted so that their ".tpo"s do not close it.
        if (isBlank(ch))
            break;
        addchar(directive, ch);
        if (isWord(directive, ".opt")) {
            call.depth++;
        } else if (isWord(directive, ".tpo")) {
            if (call.depth <= 0) {
                PosList *positions = call.positions.get();
                if (positions->count > 0)
                    positions->items[positions->count - 1].end = pos;
                call.main = ListBlock;
                recognised(Directive::Tpo, pos - 1);
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

}  // namespace

namespace {

int run(const char *text, uint32_t start, uint32_t limit)
{
    Call call;
    uint32_t pos = start;
    for (;;) {
        char ch = text[pos++];
        if (ch == '\0' || pos > limit)
            return PARSE_END;
        if (call.main != OptLabel && call.main != OptBody &&
            !conditionalStage(call, text, pos, ch))
            return PARSE_END;
        if (parse_watch)
            parse_watch->byte(pos - 1);
        if (int result = statementStage(call, ch, pos); result != KEEP_GOING)
            return result;
        if (int result = mainStage(call, text, pos, ch); result != KEEP_GOING)
            return result;
    }
}

}  // namespace

int parse_r(const char *text, uint32_t start, uint32_t limit)
{
    if (!parse_watch)
        return run(text, start, limit);
    parse_watch->enter(start, limit);
    const int result = run(text, start, limit);
    parse_watch->leave(result);
    return result;
}
