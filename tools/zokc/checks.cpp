// The checks of zokc check. Each works from what the survey of a map found
// (how the interpreter itself reads the script, every branch and option
// followed) and says what the author wrote, what the game will do with it
// and, where there is one, the fix.
#include "checks.hpp"

#include "rules.hpp"

#include "problems.hpp"

#include "fifo.hpp"
#include "game.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace checks {

// The variables a condition reads, each with its offset in the condition:
// the form is decided by the first '&' or '=' in it.
std::vector<std::pair<std::string, size_t>> testedNames(std::string_view condition)
{
    const size_t first = condition.find_first_of("&=");
    if (first == std::string_view::npos)
        return {{std::string(condition), 0}};
    if (condition[first] == '=')
        return {{std::string(condition.substr(0, first)), 0}};
    std::vector<std::pair<std::string, size_t>> names;
    for (size_t at = 0;;) {
        const size_t end = condition.find('&', at);
        names.push_back({std::string(condition.substr(at, end - at)), at});
        if (end == std::string_view::npos)
            return names;
        at = end + 1;
    }
}

// The variable a .set text names: everything before its first space.
std::string_view setName(std::string_view text)
{
    return text.substr(0, text.find(' '));
}

using diag::Severity;

namespace {

using diag::quoted;
using survey::Place;

const char *nameOf(Directive what)
{
    switch (what) {
    case Directive::Name: return ".name";
    case Directive::Desc: return ".desc";
    case Directive::Dend: return ".dend";
    case Directive::List: return ".list";
    case Directive::Opt: return ".opt";
    case Directive::Tpo: return ".tpo";
    case Directive::Loop: return ".loop";
    case Directive::Lend: return ".lend";
    case Directive::Go: return ".go";
    case Directive::Set: return ".set";
    case Directive::Break: return ".break";
    case Directive::Exit: return ".exit";
    case Directive::Die: return ".die";
    case Directive::Win: return ".win";
    case Directive::If: return ".if";
    case Directive::Elif: return ".elif";
    case Directive::Else: return ".else";
    case Directive::Fi: return ".fi";
    }
    return "";
}

const std::vector<std::string_view> DIRECTIVES = {".name", ".desc", ".dend",  ".list", ".opt", ".tpo",
                                                  ".loop", ".lend", ".go",    ".set",  ".break", ".exit",
                                                  ".die",  ".win",  ".if",    ".elif", ".else", ".fi"};

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string q(std::string_view text)
{
    std::string out = "'";
    out += quoted(text);
    return out += "'";
}

// Edits (insertions, deletions, changes, swaps of neighbours) from a to b.
size_t distance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); i++)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); j++)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        for (size_t j = 1; j <= b.size(); j++) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// " (did you mean 'x'?)" for the nearest candidate a typo away, or "".
// close: only one a slip of a key away from a word long enough to tell.
template <typename Names>
std::string didYouMean(std::string_view word, const Names &candidates, bool close = false)
{
    std::string_view best;
    size_t bestDistance = close ? (word.size() < 3 ? 0 : word.size() < 6 ? 1 : 2) : word.size() < 4 ? 1 : 2;
    for (const auto &candidate : candidates) {
        const size_t d = distance(word, candidate);
        if (d > 0 && d <= bestDistance && (best.empty() || d < bestDistance))
            best = candidate, bestDistance = d;
    }
    return best.empty() ? "" : " (did you mean " + q(best) + "?)";
}


struct Variables {
    std::set<std::string> set, tested;
};

class MapChecker {
public:
    MapChecker(const zokc::MapStore &game, const zokc::Map &map, const survey::Survey &surveyed,
               const Variables &variables, const survey::Never &never, std::vector<diag::Diagnostic> &out)
        : game_(game), map_(map), never_(never), survey_(surveyed), text_(map.text), lines_(map.text),
          variables_(variables),
          out_(out)
    {
    }

    void run()
    {
        if (!map_.problem.empty()) {
            report("unreadable-map", 0,
                   "the map cannot be read: " + map_.problem + "; the game ends with 'Could not load " +
                       quoted(map_.path) + "' when it comes here");
            return;
        }
        if (survey_.tooLarge != NO_POS)
            report("unreadable-map", survey_.tooLarge,
                   "the text read up to here grows past the 4 GiB a text of the game can hold: the game stops "
                   "reading the map here and ends with 'Could not load " + quoted(map_.path) +
                       "'; split the description or line");
        bytes();
        for (const survey::Note &note : survey_.notes)
            noticed(note);
        for (const survey::End &end : survey_.ends)
            ended(end);
        texts();
        conditionsInOptions();
        neverRun();
        if (survey_.idle && survey_.idleAfter == 0) {
            const bool empty = text_.find_first_not_of(" \t\r\n") == std::string::npos;
            report("never-waits", 0,
                   std::string(empty ? "the map is empty, so it" : "the map") +
                       " never waits for a key, never ends the game and never moves on" +
                       (survey_.descs.empty() ? ""
                                              : " (a '.name' before a description lets it through without a key)") +
                       ": it is played again and again until the game gives up after " + idleLimitText() +
                       " passes; give it a menu, a '.go', a '.die' or a '.win'");
        } else if (survey_.idle) {
            const int passes = survey_.idleAfter;
            report("never-waits", 0,
                   "the map waits for a key on its first " +
                       (passes == 1 ? std::string("pass") : std::to_string(passes) + " passes") +
                       " and then never again, and it never ends the game or moves on: its '.name' lines count "
                       "the description counter down as fast as its descriptions count it up, so no description "
                       "waits, and it is played again and again until the game gives up after " +
                       idleLimitText() + " passes; give it a menu, a '.go', a '.die' or a '.win'");
        }
    }

private:
    void report(const char *kind, uint32_t offset, std::string message)
    {
        const diag::LineCol at = lines_.at(offset);
        out_.push_back({map_.path, at.line, at.col, problems::severity(kind), std::move(message), kind});
    }

    uint32_t firstNonBlank(uint32_t offset) const
    {
        uint32_t i = lines_.lineStart(offset);
        while (i < text_.size() && isBlank(text_[i]))
            i++;
        return i;
    }

    // The line holding offset, from its first non-blank byte to its end.
    std::string_view lineAt(uint32_t offset) const
    {
        const uint32_t start = firstNonBlank(offset);
        std::string_view line = std::string_view(text_).substr(start);
        line = line.substr(0, line.find('\n'));
        while (!line.empty() && isBlank(line.back()))
            line.remove_suffix(1);
        return line;
    }

    uint32_t lineOf(uint32_t offset) const { return lines_.at(offset).line; }
    bool atEndOfText(uint32_t pos) const { return pos >= text_.size() || text_[pos] == '\0'; }

    const survey::Text *label(uint32_t start) const
    {
        for (const survey::Text &label : survey_.labels)
            if (label.start == start)
                return &label;
        return nullptr;
    }

    void bytes()
    {
        if (text_.starts_with(BYTE_ORDER_MARK)) {
            const std::string_view first = lineAt(0).substr(BYTE_ORDER_MARK.size());
            report("byte-order-mark", 0,
                   "the map begins with a byte-order mark, three bytes (EF BB BF) that some editors put at the "
                   "start of a UTF-8 file and that no editor shows: " +
                       (first.starts_with('.') ? "the game reads them as part of the first line, so " + q(first) +
                                                     " is not read as a directive"
                                               : std::string("the game reads them as part of the first line")) +
                       "; save the map as UTF-8 without a byte-order mark (without 'BOM')");
        }
        const size_t zero = text_.find('\0');
        if (zero != std::string::npos)
            report("nul-byte", static_cast<uint32_t>(zero),
                   "a zero byte: the game stops reading the map here, so the " +
                       std::to_string(text_.size() - zero - 1) + " bytes after it are ignored; remove it");
        if (const size_t bad = diag::firstNonUtf8(text_); bad != std::string::npos)
            report("not-utf8", static_cast<uint32_t>(bad),
                   "the byte " + quoted(text_.substr(bad, 1)) +
                       " is not UTF-8: the map seems to be saved in another encoding, and the game shows such "
                       "bytes as the wrong characters; save it as UTF-8");
    }

    void noticed(const survey::Note &note)
    {
        const Place &place = note.place;
        const std::string name = nameOf(note.what);
        switch (note.notice) {
        case Notice::CarriageReturn: {
            static const std::map<Directive, const char *> effects = {
                {Directive::Dend, "the description does not end here and is never shown"},
                {Directive::Break, "the option's body does not end here"},
                {Directive::Exit, "the map does not start again here"},
                {Directive::Die, "the game does not end here"},
                {Directive::Win, "the game does not end here"},
                {Directive::Else, "the branches before and after it are not kept apart"},
                {Directive::Fi, "a skip does not stop here"},
            };
            report("carriage-return", note.pos,
                   q(name) + " followed by a carriage return is not recognised: " + effects.at(note.what) +
                       "; save the map with plain newline line ends, not CR-LF");
            break;
        }
        case Notice::TrailingText: {
            const uint32_t start = note.first;
            if (firstNonBlank(note.pos) != start)
                break;
            const std::string_view line = lineAt(note.pos);
            report("else-trailing", note.pos,
                   (line.size() == name.size() ? q(name) + " is followed by blanks"
                                               : q(line) + " has more on its line than '" + name + "'") +
                       ", so it is not recognised: " +
                       (note.what == Directive::Else
                            ? "the lines after it run whenever the branch before it runs"
                            : "the skip of a false branch does not stop here") +
                       "; leave '" + name + "' alone on its line");
            break;
        }
        case Notice::StatementAsText: {
            const uint32_t start = firstNonBlank(note.pos);
            if (place.block == MainState::ListBlock)
                report("statement-in-text", start,
                       q(lineAt(note.pos)) +
                           " between the options of a list does nothing: only '.opt', '.loop' and '.lend' count "
                           "there; put it in an option's body");
            else
                report("statement-in-text", start,
                       q(lineAt(note.pos)) + " inside a " +
                           (place.block == MainState::DescBlock ? "description" : "name line") +
                           " is shown as text, not acted on" +
                           (place.block == MainState::DescBlock ? "; end the description with '.dend' before it" : ""));
            break;
        }
        case Notice::StrayBranch:
            report("stray-else", note.first,
                   q(name) + " with no '.if' open" +
                       (note.what == Directive::Fi
                            ? " does nothing; remove it"
                            : " is taken as the end of a branch that ran: every line up to the next '.fi' is "
                              "skipped; open the block with '.if' or remove it"));
            break;
        case Notice::NestedIf:
            report("nested-if", note.first,
                   "'.if' inside the block of the '.if' on line " + std::to_string(lineOf(place.ifAt)) +
                       ": blocks do not nest, so the first '.elif', '.else' or '.fi' that comes ends both; close "
                       "the first block with '.fi' before opening another");
            break;
        case Notice::SkipRunsOff:
            if (place.ifAt == NO_POS)
                break;  // a stray .elif or .else, reported as such
            if (!place.inBody)
                report("unclosed-if", place.ifAt,
                       "'.if' is never closed by '.fi': whenever a branch of the block is skipped, the rest of the "
                       "map is skipped with it; add a '.fi' line");
            else
                report("unclosed-if", place.ifAt,
                       "'.if' is not closed by '.fi' within its option's body: whenever a branch of the block is "
                       "skipped, the rest of the body is skipped with it" +
                           (atEndOfText(note.pos) ? std::string()
                                                  : " and the line where the skip stops, line " +
                                                        std::to_string(lineOf(note.pos)) + " past the '.tpo', runs") +
                           "; add a '.fi' line before the '.tpo'");
            break;
        case Notice::NestedOption:
            break;  // named where its option is left open
        case Notice::LoopSpread:
            report("loop-spreads", place.listFirst,
                   "this list has no '.loop' of its own but loops, because of the '.loop' on line " +
                       std::to_string(lineOf(place.loopAt)) +
                       ": once a script has seen '.loop', every later list in it loops too; end the options "
                       "that should leave with '.break', or move the list to a map of its own");
            break;
        case Notice::Ignored:
            ignored(note);
            break;
        case Notice::TooDeep:
            report("too-deep", note.first != NO_POS ? note.first : note.pos,
                   "option bodies nest more than " + countText(MAX_BODY_DEPTH) +
                       " deep here: when the player chooses this far in, zok ends the game with a message "
                       "naming the map; move the deeper choices to a map of their own with '.go'");
            break;
        case Notice::TooManyPaths:
            report("too-many-paths", 0,
                   "the map has too many combinations of branches to follow them all: the checks cover only part "
                   "of it");
            break;
        }
    }

    // A line whose words no stage took.
    void ignored(const survey::Note &note)
    {
        std::string_view word = note.place.word;
        if (word.ends_with('\n'))
            word.remove_suffix(1);
        if (word.find_first_not_of('\r') == std::string_view::npos)
            return;  // only the carriage return of a CR-LF line end
        const uint32_t start = note.first;
        std::string_view line = std::string_view(text_).substr(start, note.pos - start);
        while (!line.empty() && isBlank(line.back()))
            line.remove_suffix(1);
        const bool inList = note.place.block == MainState::ListBlock;
        if (start == 0 && text_.starts_with(BYTE_ORDER_MARK))
            return;  // the byte-order mark, reported as such
        if (!word.starts_with('.')) {
            report("top-level-text", start,
                   inList ? "text between the options of a list is ignored: " + q(line) +
                                "; only '.opt', '.loop' and '.lend' count there"
                          : "text outside a description is ignored: " + q(line) +
                                "; put it between '.desc' and '.dend' to show it");
            return;
        }
        if (note.place.inBody && !inList && word.starts_with(".opt")) {
            report("option-trap", start,
                   q(line) + " in an option's body begins with '.opt', so while the list is read it counts as a "
                             "nested option: the body runs on to one more '.tpo' than it seems to; begin the line "
                             "differently");
            return;
        }
        const bool optLine = line.starts_with(".opt") && (line.size() == 4 || isBlank(line[4]));
        if (!inList && (optLine || word == ".tpo")) {
            report("option-outside-list", start,
                   word == ".tpo"
                       ? "'.tpo' outside a list does nothing: options belong between '.list' and '.lend', so the "
                         "lines before it ran as plain script; open the list with '.list' before its first '.opt'"
                       : q(line) + " outside a list offers nothing: options belong between '.list' and '.lend', so "
                                   "the lines after it run here as plain script; open a list with '.list' before it "
                                   "and close it with '.lend'");
            return;
        }
        static const std::map<std::string_view, const char *> alone = {
            {".dend", "'.dend' with no description open does nothing"},
            {".tpo", "'.tpo' with no option open does nothing"},
            {".opt", "'.opt' outside a list does nothing; open a list with '.list' first"},
            {".loop", "'.loop' outside a list does nothing"},
            {".lend", "'.lend' with no list open does nothing"},
            {".go", "'.go' needs a blank and a map name after it; the line does nothing"},
            {".set", "'.set' needs a blank and a variable name after it; the line does nothing"},
            {".if", "'.if' needs a blank and a condition after it; the line does nothing"},
            {".elif", "'.elif' needs a blank and a condition after it; the line does nothing"},
        };
        if (const auto found = alone.find(word); found != alone.end()) {
            report("unknown-directive", start, found->second);
            return;
        }
        for (const std::string_view name : {".break", ".exit", ".die", ".win", ".else", ".fi"}) {
            if (word.starts_with(name)) {
                report("unknown-directive", start,
                       q(line) + " is not a directive: '" + std::string(name) +
                           "' counts only alone on its line; the line does nothing");
                return;
            }
        }
        for (const std::string_view name : {".go", ".set", ".if", ".elif"}) {
            if (word.starts_with(name)) {
                report("unknown-directive", start,
                       q(line) + " is not a directive: '" + std::string(name) +
                           "' needs a blank after it; the line does nothing");
                return;
            }
        }
        std::string lower(word);
        std::ranges::transform(lower, lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
        for (const std::string_view name : DIRECTIVES) {
            const bool alone = line.size() == name.size() || isBlank(line[name.size()]);
            if (lower.starts_with(name) && !word.starts_with(name) && alone) {
                const size_t capital = std::ranges::find_if(line, [](unsigned char ch) { return std::isupper(ch); }) -
                                       line.begin();
                report("directive-case", start + static_cast<uint32_t>(capital),
                       q(line) + " is not a directive: directives are written in lower case, so the line is "
                                 "ignored (did you mean " + q(name) + "?)");
                return;
            }
        }
        report("unknown-directive", start,
               q(line) + " is not a directive " + (inList ? "between options" : "here") + ": the line is ignored" +
                   didYouMean(word, DIRECTIVES));
    }

    void ended(const survey::End &end)
    {
        if (end.result != PARSE_END)
            return;
        const Place &place = end.place;
        const bool body = !atEndOfText(end.pos);
        const std::string where = body ? " before its option's '.tpo'" : "";
        if (place.statement != StatementState::Idle || place.block == MainState::Top) {
            static const std::map<std::string_view, const char *> statements = {
                {".break", "the option's body does not end here"},
                {".exit", "the map does not start again here"},
                {".die", "the game does not end here"},
                {".win", "the game does not end here"},
            };
            const auto found = statements.find(place.statementWord);
            const uint32_t last = end.pos > 0 ? end.pos - 1 : 0;
            if (place.statement == StatementState::GoTarget)
                report("no-newline", firstNonBlank(last),
                       "'.go' on the last line needs a newline after it: without one the game does not move on");
            else if (place.statement == StatementState::Assignment)
                report("no-newline", firstNonBlank(last),
                       "'.set' on the last line needs a newline after it: without one the variable is not set");
            else if (found != statements.end() && !body)
                report("no-newline", firstNonBlank(last),
                       q(place.statementWord) + " on the last line needs a newline after it: without one " +
                           found->second);
            return;
        }
        switch (place.block) {
        case MainState::NameLine:
            report("no-newline", place.blockFirst,
                   "'.name' on the last line needs a newline after it: without one the name is never shown");
            break;
        case MainState::DescBlock:
            if (place.word == ".dend" && !body)
                report("no-newline", firstNonBlank(end.pos - 1),  // the line holds '.dend' alone
                       "'.dend' on the last line needs a newline after it: without one the description is never "
                       "shown");
            else
                report("unclosed-desc", place.blockFirst,
                       "'.desc' is never closed by '.dend'" + where +
                           (body ? ": the description is never shown"
                                 : ": the rest of the map is taken as its text and never shown") +
                           "; add a '.dend' line");
            break;
        case MainState::ListBlock:
            report("unclosed-list", place.listFirst,
                   "'.list' is never closed by '.lend'" + where + ": the menu is never shown; add a '.lend' line");
            break;
        case MainState::RunMenu:
            report("no-newline", place.blockFirst,
                   "'.lend' is the last thing in the map: the menu is shown only when a byte follows it; end the "
                   "line with a newline");
            break;
        case MainState::OptLabel:
            report("unclosed-option", place.blockFirst,
                   "the label line " + q(lineAt(place.blockAt)) + " has no newline: the menu is never shown");
            break;
        case MainState::OptBody: {
            const survey::Text *opened = label(place.blockAt + 1);
            const std::string option = opened ? "the option " + q(trimmed(opened->text)) : "the option";
            // Lines of the body that began with ".opt" and so took a ".tpo".
            std::string nested;
            for (const survey::Note &note : survey_.notes) {
                if (note.notice == Notice::NestedOption && note.place.blockAt == place.blockAt &&
                    note.place.inBody == place.inBody)
                    nested += (nested.empty() ? "" : ", ") + std::to_string(lineOf(note.pos));
            }
            report("unclosed-option", place.blockFirst,
                   option + " is never closed by '.tpo'" + where + ": the menu is never shown; " +
                       (nested.empty() ? "add a '.tpo' line"
                                       : "its body's line " + nested +
                                             " begins with '.opt' and so counts as a nested option, which takes a "
                                             "'.tpo' of its own"));
            break;
        }
        default:
            break;
        }
    }

    // The offset in the script of byte index of a condition that starts at
    // start (the condition was read with its blanks dropped).
    uint32_t inCondition(uint32_t start, size_t index) const
    {
        uint32_t at = start;
        for (;; at++) {
            if (isBlank(text_[at]))
                continue;
            if (index-- == 0)
                return at;
        }
    }

    void texts()
    {
        for (const survey::Text &go : survey_.gos)
            goTarget(go);
        for (const survey::Text &set : survey_.sets) {
            const std::string_view name = setName(set.text);
            if (const size_t cr = name.find('\r'); cr != std::string_view::npos)
                report("carriage-return", set.start + static_cast<uint32_t>(cr),
                       "'.set " + quoted(set.text) +
                           "': the carriage return of a CR-LF line end becomes part of the variable's name; save "
                           "the map with plain newline line ends");
            else if (const size_t tab = name.find('\t'); tab != std::string_view::npos)
                report("tab-in-set", set.start + static_cast<uint32_t>(tab),
                       "'.set " + quoted(set.text) + "': a tab does not separate the value, so this sets " +
                           q(name) + " to 1; put a space between the name and the value");
            else if (setSlip(set, name))
                ;
            else if (!variables_.tested.contains(std::string(name)))
                report("unused-variable", set.start,
                       "'.set " + quoted(set.text) + "' sets " + q(name) +
                           ", which no condition in any map tests" +
                           (name.empty() ? " (the blank after '.set' is one too many)" : ""));
        }
        for (const survey::Text &condition : survey_.conditions)
            conditionText(condition);
        // A description whose lines differ from one way through to another
        // is as tall as its tallest.
        std::map<uint32_t, int> tallest;
        for (const survey::Text &desc : survey_.descs)
            tallest[desc.first] = std::max(tallest[desc.first], textRows(desc.text, STANDARD_LAYOUT.desc.cols));
        for (const auto &[first, rows] : tallest) {
            if (rows > READABLE_DESC_ROWS)
                report("tall-description", first,
                       "the description takes " + std::to_string(rows) + " rows of an " +
                           std::to_string(STANDARD_COLS) + "x" + std::to_string(STANDARD_ROWS) +
                           " terminal's description pane, where the player reads " +
                           std::to_string(READABLE_DESC_ROWS) +
                           " at a time: the rows past that are cut off; split it in two");
        }
        for (const survey::Text &label : survey_.labels) {
            const int cells = textCells(label.text);
            if (cells > STANDARD_LAYOUT.opts.cols)
                report("wide-label", label.start,
                       "the label is " + std::to_string(cells) + " cells wide and the options pane of an " +
                           std::to_string(STANDARD_COLS) + "x" + std::to_string(STANDARD_ROWS) +
                           " terminal " + std::to_string(STANDARD_LAYOUT.opts.cols) +
                           ": it runs onto the next row, or is cut off when the menu scrolls; shorten it");
        }
        for (const auto &[elif, elseAt] : survey_.elifsAfterElse)
            report("elif-after-else", elif,
                   "'.elif' after the '.else' on line " + std::to_string(lineOf(elseAt)) +
                       " of the same block never tests its condition: the '.else' branch runs up to it and the "
                       "rest of the block up to '.fi' is skipped; put the '.elif' before the '.else'");
        controlBytes();
        if (survey_.descs.size() > 1)
            for (const auto &[desc, by] :
                 survey::replacedUnseen(text_.c_str(), static_cast<uint32_t>(text_.size() + 1), never_))
                report("unseen-text", desc,
                       "this description is always replaced by the one on line " + std::to_string(lineOf(by)) +
                           " before the player can read it: the '.name' lines before that one keep the "
                           "description counter from going above zero, so it does not wait for a key; put a menu "
                           "between them, or drop a '.name'");
        for (const uint32_t pos : survey_.condsInText)
            report("cond-in-text", pos,
                   q(lineAt(pos)) + " inside a description is shown as text, and only the lines its skips swallow "
                                    "disappear; put the block around the whole '.desc' ... '.dend'");
    }

    void goTarget(const survey::Text &go)
    {
        const std::string path = game_.dir() + "/" + go.text + ".zok";
        if (const size_t cr = go.text.find('\r'); cr != std::string::npos) {
            report("carriage-return", go.start + static_cast<uint32_t>(cr),
                   "'.go " + quoted(go.text) + "': the carriage return of a CR-LF line end becomes part of the map "
                   "name, so the game looks for " + q(path) + "; save the map with plain newline line ends");
            return;
        }
        if (zokc::leavesFolder(go.text))
            report("go-outside", go.start,
                   "'.go " + quoted(go.text) + "' leads out of the game folder, to " + q(path) +
                       "; keep every map in the folder");
        if (game_.find(go.text) || fileExists(path.c_str()))
            return;
        std::vector<std::string> names;
        for (const zokc::Map &map : game_.listedMaps())
            names.push_back(map.name);
        std::string suggestion = didYouMean(go.text, names);
        uint32_t at = go.start;
        if (std::string_view stem = go.text; stem.ends_with(".zok") && game_.find(stem.substr(0, stem.size() - 4))) {
            suggestion = " (did you mean " + q(stem.substr(0, stem.size() - 4)) +
                         "? '.go' names a map without its '.zok')";
            at += static_cast<uint32_t>(stem.size() - 4);
        }
        std::string trailing;
        if (!go.text.empty() && isBlank(go.text.back()))
            trailing = " (the blanks after the name count)";
        report("missing-map", at,
               "'.go " + quoted(go.text) + "' leads to " + q(path) + trailing +
                   ", which does not exist: the game ends there with 'Could not load " + quoted(path) + "'" +
                   suggestion);
    }

    void conditionText(const survey::Text &condition)
    {
        const std::string_view text = condition.text;
        if (const size_t cr = text.find('\r'); cr != std::string_view::npos) {
            report("carriage-return", inCondition(condition.start, cr),
                   "the condition " + q(text) +
                       " ends in the carriage return of a CR-LF line end, which becomes part of what it tests; "
                       "save the map with plain newline line ends");
            return;
        }
        if (conditionOperator(condition))
            return;
        const size_t first = text.find_first_of("&=");
        if (first != std::string_view::npos) {
            const char other = text[first] == '&' ? '=' : '&';
            if (const size_t mixed = text.find(other, first); mixed != std::string_view::npos)
                report("mixed-condition", inCondition(condition.start, mixed),
                       "the condition " + q(text) + " mixes '&' and '=': only the first of them decides, so " +
                           (other == '='
                                ? "the pieces between '&'s are names, '=' included"
                                : "it compares " + q(text.substr(0, first)) + " with the number after '=' alone") +
                           "; a condition makes one kind of test");
        }
        for (const auto &[name, index] : testedNames(text)) {
            // A name holding '=' is the mixed condition just reported.
            if (!variables_.set.contains(name) && name.find('=') == std::string::npos)
                report("unset-variable", inCondition(condition.start, index),
                       "the condition " + q(text) + " tests " + q(name) +
                           ", which no '.set' in any map sets, so it is always 0" +
                           didYouMean(name, variables_.set, true));
        }
    }

    // Control bytes in what the player reads: zok shows each but tab and
    // newline in caret notation. One report for each text, at its first.
    void controlBytes()
    {
        std::set<uint32_t> reported;  // a CR that hides a directive is reported as such
        for (const survey::Note &note : survey_.notes)
            if (note.notice == Notice::CarriageReturn)
                reported.insert(note.pos);
        auto check = [&](const survey::Text &item, const char *what, bool tabsDropped) {
            uint32_t pos = item.start;
            for (const char ch : item.text) {
                if (tabsDropped)
                    while (text_[pos] == '\t')
                        pos++;
                const auto byte = static_cast<unsigned char>(ch);
                if ((byte < 0x20 && ch != '\t' && ch != '\n') || byte == 0x7f) {
                    if (reported.insert(pos).second)
                        controlByte(pos, ch, what);
                    return;
                }
                pos++;
            }
        };
        for (const survey::Text &name : survey_.names)
            check(name, "name line", false);
        for (const survey::Text &desc : survey_.descs)
            check(desc, "description", true);
        for (const survey::Text &label : survey_.labels)
            check(label, "label", false);
    }

    void controlByte(uint32_t pos, char ch, const char *what)
    {
        static const std::map<char, const char *> names = {
            {'\a', "a bell"}, {'\b', "a backspace"}, {'\v', "a vertical tab"}, {'\f', "a form feed"},
            {'\r', "a carriage return"}, {'\x1b', "an escape"}, {'\x7f', "a delete"}};
        const auto named = names.find(ch);
        const std::string shown = ch == '\x7f' ? "^?" : std::string{'^', static_cast<char>(ch + 64)};
        report("control-byte", pos,
               std::string(named == names.end() ? "a control byte" : named->second) + " in the " + what +
                   " is shown as '" + shown + "'" +
                   (ch == '\r' ? ": the map has CR-LF line ends; save it with plain newline line ends"
                                : ", not acted on; remove it"));
    }

    // A '.set' that looks like arithmetic or whose value is no number: the
    // name runs to the first space and the value is the number at the start
    // of the rest (none reads 0).
    bool setSlip(const survey::Text &set, std::string_view name)
    {
        const std::string shown = "'.set " + quoted(set.text) + "'";
        const size_t op = name.find_first_of("=+-*/");
        const bool digitsAfter = op != std::string_view::npos && op + 1 < name.size() &&
                                 std::isdigit(static_cast<unsigned char>(name[op + 1]));
        const bool tested = variables_.tested.contains(std::string(name));  // then it is the name meant
        if (op != std::string_view::npos && (name[op] == '=' || digitsAfter) && !tested) {
            const std::string_view base = name.substr(0, op);
            report("set-arithmetic", set.start + static_cast<uint32_t>(op),
                   shown + " sets a variable named " + q(name) + " to 1: there is no " +
                       (name[op] == '=' ? "'=' in '.set'" : "arithmetic") + ", a name runs to the first space" +
                       (name[op] == '=' && digitsAfter ? "; write '.set " + quoted(base) + " " +
                                                             quoted(name.substr(op + 1)) + "'"
                                                       : "; '.set' stores a number written after the name and a "
                                                         "space, as '.set " + quoted(base) + " 5'"));
            return true;
        }
        if (name.empty() || name.size() == set.text.size())
            return false;  // no value, or a blank too many before the name (reported as such)
        const std::string_view value = std::string_view(set.text).substr(name.size() + 1);
        const size_t at = value.find_first_not_of(" \t\v\f\r");
        if (at == std::string_view::npos)
            return false;  // '.set gold ' sets 0: a blank too many, too small a slip to name
        size_t digit = at + (value[at] == '+' || value[at] == '-');
        if (digit < value.size() && std::isdigit(static_cast<unsigned char>(value[digit])))
            return false;
        const std::string_view wrote = trimmed(value);
        const uint32_t pos = set.start + static_cast<uint32_t>(name.size() + 1 + at);
        const size_t number = value.find_first_of("0123456789");
        std::string fix = "write the value in digits after the name and a space";
        if (wrote.starts_with("+=") || wrote.starts_with("-=") || wrote.starts_with("*=") || wrote.starts_with("/="))
            fix = "there is no arithmetic: '.set' stores the number written after the name and a space";
        else if (number != std::string_view::npos)
            fix = "write '.set " + quoted(name) + " " +
                  quoted(value.substr(number, value.find_first_not_of("0123456789", number) - number)) + "'";
        report("set-value", pos,
               shown + ": " + q(wrote) + " is not a number, so " + q(name) + " becomes 0; " + fix);
        return true;
    }

    // A condition with an operator conditions do not have: says which forms
    // there are and what the game makes of this one.
    bool conditionOperator(const survey::Text &condition)
    {
        const std::string_view text = condition.text;
        size_t at = text.find_first_of("<>!|()");
        if (const size_t twice = text.find("=="); twice < at)
            at = twice;
        if (at == std::string_view::npos)
            return false;
        const bool paren = text[at] == '(' || text[at] == ')';
        const std::string_view op = text.substr(at, paren ? 1 : text.find_first_not_of("<>!=|", at) - at);
        report("condition-operator", inCondition(condition.start, at),
               "the condition " + q(text) + " uses " + q(op) +
                   ", which conditions do not have: a condition is a name, names joined by '&', or a name '=' a "
                   "number; this one " + conditionMeaning(text));
        return true;
    }

    // What the game makes of a condition, in words.
    std::string conditionMeaning(std::string_view text) const
    {
        const size_t first = text.find_first_of("&=");
        auto isSet = [&](std::string_view name) { return variables_.set.contains(std::string(name)); };
        if (first == std::string_view::npos)
            return "tests a variable named " + q(text) +
                   (isSet(text) ? ", true when it is not 0" : ", which no '.set' sets, so it is never true");
        if (text[first] == '=') {
            const std::string_view name = text.substr(0, first);
            std::string_view rest = text.substr(first + 1);
            rest = rest.substr(0, rest.find('='));
            const std::string number(rest);
            const long value = std::strtol(number.c_str(), nullptr, 10);
            const bool digits = rest.find_first_of("0123456789") == (rest.starts_with('-') || rest.starts_with('+'));
            return "compares " + (isSet(name) ? q(name) : "a variable named " + q(name)) + " with " +
                   (rest.empty() ? std::string("nothing, which reads as 0")
                    : digits     ? std::to_string(value)
                                 : q(rest) + ", which reads as " + std::to_string(value)) +
                   (isSet(name) ? ", and is true when " + q(name) + " is " + std::to_string(value)
                                : ", and as no '.set' sets that variable, it is " +
                                      std::string(value == 0 ? "always true" : "never true"));
        }
        std::string names;
        bool anySet = false;
        for (const auto &[name, index] : testedNames(text)) {
            names += (names.empty() ? "" : ", ") + q(name);
            anySet = anySet || isSet(name);
        }
        return "adds up the variables named " + names +
               (anySet ? " and is true when they add up to how many there are"
                       : ", which no '.set' sets, so it is never true");
    }

    // Stretches of lines no path runs: after a statement or a menu whose
    // every option leaves, or skipped in every way through.
    void neverRun()
    {
        if (survey_.gaveUp)
            return;
        const size_t end = std::min(text_.size(), text_.find('\0'));
        // A '.fi' no path reaches still closes a block whose '.if' runs (both
        // of its branches leave, say): removing it would change the map. Only
        // the '.fi' of a block that never runs at all is part of what never runs.
        std::vector<bool> run = survey_.run;
        for (const auto &[elif, elseAt] : survey_.elifsAfterElse)  // its condition, reported as such
            std::fill(run.begin() + elif, run.begin() + std::min(end, text_.find('\n', elif)), true);
        bool deadIf = false;
        for (size_t at = 0; at < end;) {
            const size_t newline = text_.find('\n', at);
            const size_t next = newline == std::string::npos ? end : std::min(end, newline + 1);
            const std::string_view line = trimmed(std::string_view(text_).substr(at, next - at));
            const std::string_view bare = line.ends_with('\n') ? trimmed(line.substr(0, line.size() - 1)) : line;
            const bool reached = std::any_of(run.begin() + at, run.begin() + next, [](bool b) { return b; });
            if (reached)
                deadIf = false;
            else if (bare.starts_with(".if") && bare.size() > 3 && isBlank(bare[3]))
                deadIf = true;
            else if (bare == ".fi" && !std::exchange(deadIf, false))
                std::fill(run.begin() + at, run.begin() + next, true);
            at = next;
        }
        auto unrun = [&](size_t i) { return !run[i]; };
        for (size_t i = 0; i < end;) {
            if (!unrun(i)) {
                i++;
                continue;
            }
            size_t first = NO_POS, last = i;
            for (; i < end && unrun(i); i++) {
                if (!isBlank(text_[i]) && text_[i] != '\n' && text_[i] != '\r') {
                    first = std::min(first, i);
                    last = i;
                }
            }
            if (first == NO_POS)
                continue;
            const uint32_t from = lineOf(static_cast<uint32_t>(first)), to = lineOf(static_cast<uint32_t>(last));
            report("never-run", static_cast<uint32_t>(first),
                   (from == to ? "line " + std::to_string(from) + " never runs"
                               : "lines " + std::to_string(from) + " to " + std::to_string(to) + " never run") +
                       ": every way through the map leaves before " + (from == to ? "it" : "them") +
                       " (by '.go', '.die', '.win', '.exit' or '.break', or a menu whose every option leaves) or "
                       "skips " + (from == to ? "it" : "them"));
        }
    }

    // A skip that began between options and stopped inside an option's body:
    // the block was written around an option whose body has a block too.
    void conditionsInOptions()
    {
        for (const uint32_t pos : survey_.skipEndsInList) {
            for (const auto &[start, end] : survey_.bodies) {
                if (pos >= start && pos < end) {
                    report("cond-in-option", firstNonBlank(pos),
                           q(lineAt(pos)) +
                               " is in the body of an option inside a conditional block: while the block skips "
                               "the option, this line ends the skip and the rest of the body is read as part of "
                               "the list; put the condition inside the body instead");
                    break;
                }
            }
        }
    }

    const zokc::MapStore &game_;
    const zokc::Map &map_;
    const survey::Never &never_;  // the conditions play never finds true (or none)
    const survey::Survey &survey_;
    const std::string &text_;
    const diag::LineIndex lines_;
    const Variables &variables_;
    std::vector<diag::Diagnostic> &out_;
};

// Warns of the maps no '.go' reaches from start, in any branch or option.
void unreachable(const zokc::MapStore &game, const zokc::Map *start, std::vector<diag::Diagnostic> &out)
{
    std::set<const zokc::Map *> reached{start};
    std::deque<const zokc::Map *> next{start};
    while (!next.empty()) {
        const zokc::Map *map = next.front();
        next.pop_front();
        for (const survey::Text &go : map->survey.gos)
            if (const zokc::Map *target = game.find(go.text); target && reached.insert(target).second)
                next.push_back(target);
    }
    for (const zokc::Map &map : game.listedMaps())
        if (!reached.contains(&map) && map.problem.empty())
            out.push_back({map.path, 1, 1, problems::severity("unreachable-map"),
                           "no '.go' leads here from 'start': the player never sees this map", "unreachable-map"});
}

}  // namespace

// Whether play never finds a condition true: no map sets a variable it
// reads, so each is 0, and its form makes that false (a name alone is 0,
// names joined by '&' add up to 0 rather than their count, and 0 differs
// from any number but 0).
bool neverTrue(std::string_view condition, const std::set<std::string> &set)
{
    for (const auto &[name, index] : testedNames(condition))
        if (set.contains(name))
            return false;
    const size_t first = condition.find_first_of("&=");
    if (first == std::string_view::npos || condition[first] == '&')
        return true;
    const std::string number(condition.substr(first + 1));
    const long long value = std::strtoll(number.c_str(), nullptr, 10);
    return value != 0 && value >= INT32_MIN && value <= INT32_MAX;
}

std::vector<diag::Diagnostic> checkGame(const zokc::MapStore &game)
{
    std::vector<diag::Diagnostic> out;
    Variables variables;
    for (const zokc::Map &map : game.listedMaps()) {
        for (const survey::Text &set : map.survey.sets)
            variables.set.insert(std::string(setName(set.text)));
        for (const survey::Text &condition : map.survey.conditions)
            for (const auto &[name, index] : testedNames(condition.text))
                variables.tested.insert(name);
    }
    // What play can do on the true way of a condition it never finds true
    // is no problem: such maps are surveyed again without it. (A '.go' to a
    // map the listing lacks may lead to a '.set' no survey saw.)
    bool allSeen = true;
    for (const zokc::Map &map : game.listedMaps())
        for (const survey::Text &go : map.survey.gos)
            allSeen = allSeen && (game.find(go.text) || !fileExists((game.dir() + "/" + go.text + ".zok").c_str()));
    const survey::Never never = [&](std::string_view condition) { return neverTrue(condition, variables.set); };
    for (const zokc::Map &map : game.listedMaps()) {
        const bool prune = allSeen && std::ranges::any_of(map.survey.conditions, [&](const survey::Text &condition) {
                               return never(condition.text);
                           });
        if (prune) {
            const survey::Survey pruned =
                survey::surveyMap(map.text.c_str(), static_cast<uint32_t>(map.text.size() + 1), never);
            MapChecker(game, map, pruned, variables, never, out).run();
        } else {
            MapChecker(game, map, map.survey, variables, {}, out).run();
        }
    }

    if (const zokc::Map *start = game.find("start"))
        unreachable(game, start, out);
    else
        out.push_back({game.dir(), 0, 0, Severity::Error,
                       "there is no map 'start' (" + quoted(game.dir()) +
                           "/start.zok): play begins there, so the game ends at once",
                       "no-start"});
    std::ranges::sort(out, {}, [](const diag::Diagnostic &d) { return std::tie(d.message, d.kind); });
    return out;
}

}  // namespace checks
