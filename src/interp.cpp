// Playing a script: the stages of stages.hpp in play mode, which acts on
// what they recognise (conditions are tested, .set sets, names and
// descriptions are shown, a menu waits for the player's choice and runs the
// chosen option's body as a nested parse_r call over the same text), and
// reads the lines no stage can act on in one step.
#include "interp.hpp"

#include "VarTable.hpp"
#include "Word.hpp"
#include "display.hpp"
#include "rules.hpp"
#include "stages.hpp"
#include "string.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

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

namespace stages {

namespace {

Word *copyWord(const Word *word)
{
    Word *copy = newWord(word->step);
    catWords(copy, word);
    return copy;
}

}  // namespace

Buffers::Buffers(const Buffers &other)
    : directive(copyWord(other.directive.get())), text(copyWord(other.text.get())),
      line(copyWord(other.line.get())), statement(copyWord(other.statement.get())),
      condition(copyWord(other.condition.get()))
{
    for (int32_t i = 0; i < other.labels->count; i++)
        addWordList(labels.get(), copyWord(other.labels->items[i]));
    for (uint32_t i = 0; i < other.positions->count; i++)
        addPos(positions.get(), other.positions->items[i].start, other.positions->items[i].end);
}

namespace {

// The calls of the play run, innermost first (each knows its parent).
const Call *playing = nullptr;

// The words the stages compare with directive names never need more bytes
// than the longest name has: a word this long matches none, and neither does
// anything it grows into.
constexpr uint32_t TOKEN_MAX = 7;

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
        grown(addchars(call.line.get(), text + from, end - from));
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
        grown(addchars(call.text.get(), from, end - pos));
    return end;
}


int play(const char *text, uint32_t start, uint32_t limit);

// Whether a body's result ends the calls around it too.
bool leavesEveryCall(int result)
{
    return result == PARSE_EXIT || result == PARSE_GO || result == PARSE_DIE || result == PARSE_WIN;
}

// A menu's call once the chosen body has run with result: false when the
// result leaves the call too; else the call goes on at pos, which is moved
// back to the list when the list loops.
bool afterBody(Call &call, int result, uint32_t &pos)
{
    if (leavesEveryCall(result))
        return false;
    if (call.loop && result != PARSE_BREAK) {
        pos = call.listStart;
        call.main = ListBlock;
    }
    return true;
}

// Play: what the stages recognise takes effect; nothing is noticed.
struct Play {
    uint32_t start;
    bool inSpans = !parse_watch || !parse_watch->everyByte;
    uint32_t retryAt = 0;  // the line up to here is read byte by byte

    static void token(Word *word, char ch)
    {
        if (word->length < TOKEN_MAX)
            append(word, ch);
    }
    static ConditionState condition(Call &, const Word *word, uint32_t)
    {
        return checkVar(global_variables, word->text) ? Normal : SkipBranch;
    }
    static void set(Call &, const Word *word, uint32_t) { interpVar(global_variables, word->text); }
    static void go(Call &, const Word *word, uint32_t) { go_map = setStringF(go_map, "%s", word->text); }
    static void name(Call &, const Word *text, uint32_t) { renderName(text->text); }
    static void desc(Call &, const Word *text, uint32_t) { renderDesc(text->text); }
    static void label(Call &, const Word *, uint32_t) {}

    // Shows the menu of the list just read and runs the chosen body.
    static int menu(Call &call, const char *text, uint32_t &pos)
    {
        PosList *positions = call.positions.get();
        call.main = Top;
        call.resumeAt = pos;
        if (positions->count > 0) {  // a list with no options has nothing to choose
            if (parse_watch)
                parse_watch->menu(call.listStart, positions,
                                  placeOf(call, firstLetter(call, call.blockAt, nameLength(Directive::Lend)),
                                          call.blockAt));
            int choice = handleOptions(call.labels.get());
            if (choice < 0)
                choice = 0;
            if (static_cast<uint32_t>(choice) >= positions->count)
                choice = static_cast<int>(positions->count - 1);
            const Pos body = positions->items[choice];
            if (const int result = parse_r(text, body.start, body.end); !afterBody(call, result, pos))
                return result;
        }
        clearMenu(call);
        return KEEP_GOING;
    }

    static void openBranch(Call &, Directive, uint32_t) {}
    static void skipRest(Call &, Directive, uint32_t) {}
    static void fiLine(Call &, const Word *, uint32_t) {}
    static void skippedLine(Call &, const Word *, uint32_t) {}
    static void skipEnded(Call &, bool, uint32_t) {}
    static void endedByBlank(Call &, const Word *, uint32_t) {}
    static void hiddenByReturn(Call &, const Word *, const char *, Directive, uint32_t) {}
    static void statementAsText(Call &, const Word *, uint32_t) {}
    static void wordBegins(Call &, uint32_t) {}
    static void lineEnd(Call &, const Word *, uint32_t) {}
    static void nestedOption(Call &, uint32_t) {}
    static void skipRanOff(Call &, uint32_t) {}

    // A plain line, or the rest of a line no stage but the main one reads,
    // is read in one step.
    bool next(Call &call, const char *text, uint32_t &pos, uint32_t limit)
    {
        if (!inSpans)
            return true;
        uint32_t end = pos;
        if (parse_watch && call.main == OptBody && call.depth == 0 && call.positions->count > 0 &&
            call.positions->items[call.positions->count - 1].start == pos) {
            // A body whose end a watcher knows is passed over at once: no
            // stage acts on its lines, and each line clears the words
            // they leave.
            end = parse_watch->skipBody(text, pos, limit);
        } else if (pos == start || text[pos - 1] == '\n') {
            end = plainLineEnd(call, text, pos, limit);
            readPlainLine(call, text, pos, end);
        } else if (pos >= retryAt && (call.main == OptLabel || call.main == OptBody || call.main == NameLine)) {
            end = restOfLineEnd(call, text, pos, limit, retryAt);
        }
        if (parse_watch && end > pos)
            parse_watch->span(pos, end, call.main);
        pos = end;
        return true;
    }
    static void byte(const Call &call, uint32_t pos)
    {
        if (parse_watch)
            parse_watch->byte(pos, call.main);
    }
    static int ended(Call &, int result, uint32_t) { return result; }
    static bool menuDone(Call &, uint32_t, int) { return false; }
    static bool afterByte(Call &, uint32_t, char) { return true; }
};

// How many play calls are running: the map's, and one per option body
// chosen inside it.
uint32_t depth = 0;

// Runs call over text[start, limit) from pos.
int run(Call &call, const char *text, uint32_t start, uint32_t pos, uint32_t limit)
{
    call.source = text;
    call.parent = playing;
    struct Active {  // the call is on the stack of active calls while it runs
        const Call *before;
        explicit Active(const Call &call) : before(playing)
        {
            playing = &call;
            depth++;
        }
        ~Active()
        {
            playing = before;
            depth--;
        }
    } active(call);
    Play mode{start};
    try {
        return runStages(mode, call, text, pos, limit);
    } catch (PlayStopped &stop) {
        if (stop.pos == NO_POS)
            stop.pos = pos > start ? pos - 1 : start;
        throw;
    }
}

int play(const char *text, uint32_t start, uint32_t limit)
{
    if (depth > MAX_BODY_DEPTH)
        throw PlayStopped{PlayStopped::TooDeep, start};
    Call call;
    return run(call, text, start, start, limit);
}

}  // namespace

const Call *playingCall()
{
    return playing;
}

void resumeState(const Call &call, std::vector<uint32_t> &words)
{
    words.insert(words.end(), {call.resumeAt, static_cast<uint32_t>(call.main),
                               static_cast<uint32_t>(call.statementState), static_cast<uint32_t>(call.conditionState),
                               call.listStart, static_cast<uint32_t>(call.loop), call.optionCount,
                               static_cast<uint32_t>(call.depth)});
    for (const Word *word : {call.directive.get(), call.text.get(), call.line.get(), call.statement.get(),
                             call.condition.get()}) {
        const auto length = static_cast<uint32_t>(word->length);
        words.push_back(length);
        for (uint32_t at = 0; at < length; at += 4) {
            uint32_t packed = 0;
            for (uint32_t i = at; i < length && i < at + 4; i++)
                packed |= uint32_t{static_cast<unsigned char>(word->text[i])} << (8 * (i - at));
            words.push_back(packed);
        }
    }
}

namespace {

// The words of resumeState back in a call.
void restoreState(Call &call, std::span<const uint32_t> words)
{
    size_t at = 0;
    const auto next = [&] { return at < words.size() ? words[at++] : 0; };
    call.resumeAt = next();
    call.main = static_cast<MainState>(next());
    call.statementState = static_cast<StatementState>(next());
    call.conditionState = static_cast<ConditionState>(next());
    call.listStart = next();
    call.loop = static_cast<int>(next());
    call.optionCount = next();
    call.depth = static_cast<int32_t>(next());
    for (Word *word : {call.directive.get(), call.text.get(), call.line.get(), call.statement.get(),
                       call.condition.get()}) {
        const uint32_t length = next();
        for (uint32_t i = 0; i < length; i += 4) {
            const uint32_t packed = next();
            for (uint32_t byte = i; byte < length && byte < i + 4; byte++)
                grown(addchar(word, static_cast<char>(packed >> (8 * (byte - i)))));
        }
    }
}

}  // namespace

int resumePlay(const char *text, Pos body, uint32_t levels, PausedCalls &calls)
{
    struct Levels {  // play's count of running calls, as in the pass that stopped
        uint32_t before = depth;
        ~Levels() { depth = before; }
    } running;
    depth = levels;
    int result = parse_r(text, body.start, body.end);
    uint32_t start, limit;
    std::vector<uint32_t> words;
    while (!leavesEveryCall(result) && levels > 0 && calls.outer(start, limit, words)) {
        depth = --levels;
        Call call;
        restoreState(call, words);
        uint32_t pos = call.resumeAt;
        afterBody(call, result, pos);
        clearMenu(call);
        if (parse_watch)
            parse_watch->enter(start, limit);
        result = run(call, text, start, pos, limit);
        if (parse_watch)
            parse_watch->leave(result);
    }
    return result;
}

}  // namespace stages

namespace {

enum class BodyLine : uint8_t { Other, Opt, Tpo };

struct BodyLineRead {
    BodyLine kind;
    bool passes;    // reading goes on past the line: no zero byte, and a line end before limit
    uint32_t next;  // then where the next line starts
};

// The line at text[line] as bodyByte compares it: its first four bytes that
// are not blanks, its line end counted, make the word.
BodyLineRead readBodyLine(const char *text, uint32_t line, uint32_t limit)
{
    char word[4];
    uint32_t letters = 0, at = line;
    for (; at < limit && letters < 4; at++) {
        const char ch = text[at];
        if (ch == '\0')
            return {BodyLine::Other, false, at};
        if (stages::isBlank(ch))
            continue;
        word[letters++] = ch;
        if (ch == '\n')
            break;
    }
    const std::string_view read(word, letters);
    const BodyLine kind = read == ".opt" ? BodyLine::Opt : read == ".tpo" ? BodyLine::Tpo : BodyLine::Other;
    if (letters > 0 && word[letters - 1] == '\n')
        return {kind, true, at + 1};
    const auto *newline = static_cast<const char *>(memchr(text + at, '\n', limit - std::min(at, limit)));
    if (!newline || memchr(text + at, '\0', newline - (text + at)))
        return {kind, false, at};
    return {kind, true, static_cast<uint32_t>(newline - text) + 1};
}

}  // namespace

std::vector<uint32_t> bodyCloseLines(const char *text, uint32_t size)
{
    // The lines up to the first that reading cannot pass, each with how
    // many more ".opt" than ".tpo" lines come before it. A body closes at
    // the first ".tpo" line after its start with as many before it as
    // before the start: lists in the body leave that number as they find it.
    struct Line {
        uint32_t start;
        BodyLine kind;
        bool passes;
        int32_t open;
    };
    std::vector<Line> lines;
    int32_t open = 0;
    for (uint32_t line = 0; line < size;) {
        const BodyLineRead read = readBodyLine(text, line, size);
        lines.push_back({line, read.kind, read.passes, open});
        open += read.kind == BodyLine::Opt ? 1 : read.kind == BodyLine::Tpo ? -1 : 0;
        if (!read.passes)
            break;
        line = read.next;
    }
    std::vector<uint32_t> closes(lines.size());
    std::unordered_map<int32_t, uint32_t> nearest;  // the nearest ".tpo" line below, by its count
    for (size_t i = lines.size(); i-- > 0;) {
        const Line &line = lines[i];
        if (line.kind == BodyLine::Tpo)
            nearest[line.open] = line.start;
        const auto found = nearest.find(line.open);
        closes[i] = found != nearest.end() ? found->second : line.start;
    }
    return closes;
}

int parse_r(const char *text, uint32_t start, uint32_t limit)
{
    if (!parse_watch)
        return stages::play(text, start, limit);
    if (parse_watch->explore) {
        stages::exploreScript(text, start, limit);
        return PARSE_END;
    }
    parse_watch->enter(start, limit);
    const int result = stages::play(text, start, limit);
    parse_watch->leave(result);
    return result;
}
