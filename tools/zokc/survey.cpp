// Surveying a map: the interpreter explores the script and this watcher
// keeps what it hears, with the option and branch each thing was read in.
#include "survey.hpp"

#include "engine.hpp"
#include "rules.hpp"

#include <algorithm>
#include <map>
#include <vector>

namespace survey {

namespace {

// What a path of the map's top has done about key waits, kept in the path's
// tag so that paths which differ here are followed apart: whether a
// description on it waited (the map loop's description counter, counted
// from where the pass began) and the count so far, relative to that start.
// The count is kept within a few steps below zero: a lower bound only ever
// makes a wait more likely, and paths soon agree again.
struct Waits {
    bool busy = false;  // a menu, or a description that waited
    int32_t count = 0;

    static Waits from(uint64_t tag, int32_t start)
    {
        return {static_cast<bool>(tag & 1), start + static_cast<int16_t>(tag >> 16)};
    }
    uint64_t tag(int32_t start) const
    {
        return uint64_t{busy} | uint64_t{static_cast<uint16_t>(count - start)} << 16;
    }
};

int32_t bounded(int32_t value)
{
    return std::max(value, DESC_COUNT_FLOOR);
}

// The tag bits of a path on the way of a condition play never finds true:
// PENDING from the condition until the path shows which way it took, DEAD
// on the true way from then on. Such a path is followed (the explorer
// follows both ways) but nothing it does is kept.
constexpr uint64_t PENDING = 1u << 2, DEAD = 1u << 3, WAIT_BITS = ~(PENDING | DEAD);

// How one survey goes: whether it follows key waits, and from which count,
// or the descriptions replaced unseen (see Unseen).
struct Options {
    bool waits = false;
    int32_t startCount = 0;
    const Never *never = nullptr;
    bool unseen = false;
};

// What a path has shown, kept in its tag when descriptions replaced unseen
// are looked for: the description last shown that the player has not yet
// had a chance to read (its collected start), and a bound the description
// counter cannot be above. The counter is never above 1 (a description
// that finds it above zero sets it to 1), so that is the bound wherever
// nothing is known; each '.name' lowers it, and a description that finds
// it below zero leaves it one higher.
struct Unseen {
    uint32_t shown = NO_POS;
    int32_t bound = 1;

    static Unseen from(uint64_t tag)
    {
        const auto shown = static_cast<uint32_t>(tag >> 16);
        return {shown == 0 ? NO_POS : shown - 1, 1 - static_cast<int32_t>((tag >> 48) & 0xff)};
    }
    uint64_t tag() const
    {
        return uint64_t{shown == NO_POS ? 0 : shown + 1u} << 16 | uint64_t(1 - bound) << 48;
    }
};
constexpr int32_t UNSEEN_FLOOR = -100;

class Surveyor : public ParseWatch {
public:
    Surveyor(Survey &survey, const char *text, uint32_t size, const Options &options)
        : survey_(survey), text_(text), readAt_(size, 0), options_(options)
    {
        explore = true;
    }

    void enter(uint32_t start, uint32_t limit) override
    {
        (void)limit;
        const auto label = bodyLabels_.find(start);
        calls_.push_back(label == bodyLabels_.end() ? NO_POS : label->second);
    }
    void leave(int result) override
    {
        (void)result;
        calls_.pop_back();
    }

    // How deep in option bodies the calls that read each byte were.
    void byte(uint32_t pos, MainState) override
    {
        if (awaitNewline_ && text_[pos] == '\n')
            awaitNewline_ = false, pendingAt_ = pos;
        if (!kept(pos))
            return;
        readAt_[pos] = std::max(readAt_[pos], static_cast<uint8_t>(std::min<size_t>(calls_.size(), 255)));
    }

    // A byte inside n option bodies runs when a call n levels down reads it;
    // the calls above only pass over it as part of a body. (The bodies of
    // menus never offered count as none: their lists are what is wrong.)
    void findRun()
    {
        std::vector<int> nesting(readAt_.size() + 1, 0);
        for (const auto &[start, end] : survey_.bodies) {
            nesting[start]++;
            nesting[std::min<size_t>(end, readAt_.size())]--;
        }
        for (size_t i = 0, depth = 0; i < readAt_.size(); i++) {
            depth += nesting[i];
            if (readAt_[i] > depth)
                survey_.run[i] = true;
        }
    }

    void directive(Directive what, const WatchPlace &at) override
    {
        const uint32_t pos = at.last;
        // A ".tpo" is read while its option's body is passed over, and it
        // ends the option: it runs, whatever the body does before it. The
        // words that end a skip are read by the skip alone, and run too.
        const bool skipEnded = what == Directive::Fi ||
                               (what == Directive::Else && at.condition == ConditionState::Normal) ||
                               (what == Directive::Elif && at.condition == ConditionState::Condition);
        if (!kept(NO_POS, skipEnded))
            return;
        survey_.directives.insert({what, pos});
        if (what == Directive::Tpo || skipEnded)
            markRun(at.first, at.last);
        if (what == Directive::Die || what == Directive::Win)
            survey_.endings.insert({what == Directive::Die ? PARSE_DIE : PARSE_WIN, pos, where(parsePlace())});
        const bool inText = at.main == MainState::DescBlock || at.main == MainState::NameLine;
        // A skip that began between the options of a list and stopped here.
        if (skipEnded && at.main == MainState::ListBlock)
            survey_.skipEndsInList.insert(pos);
        // The .if, or the .elif or .else that starts a skip, inside a name
        // line or description: its line stays text.
        const bool opens = what == Directive::If ||
                           ((what == Directive::Elif || what == Directive::Else) &&
                            at.condition == ConditionState::SkipBlock);
        if (opens && inText)
            survey_.condsInText.insert(at.first);
        if (what == Directive::Elif && at.condition == ConditionState::SkipBlock) {
            const ParsePlace place = parsePlace();
            if (place.branch == Directive::Else)
                survey_.elifsAfterElse.insert({at.first, place.branchAt});
        }
    }

    void menu(uint32_t listStart, const PosList *bodies, const WatchPlace &) override
    {
        (void)listStart;
        if (!kept())
            return;
        for (uint32_t i = 0; i < bodies->count; i++)
            survey_.bodies.insert({bodies->items[i].start, bodies->items[i].end});
        survey_.menus = true;
        if (options_.unseen)
            setUnseen({});  // what was shown is read at the menu; the bodies may show more
        if (options_.waits && atTop()) {
            Waits w = waits();
            w.busy = true;
            setWaits(w);
        }
    }

    void collected(Directive what, uint32_t start, std::string_view text, const WatchPlace &at) override
    {
        if (!kept())
            return;
        const ParsePlace place = parsePlace();
        Text item{start, std::string(text), where(place), at.first};
        switch (what) {
        case Directive::Name:
            if (options_.unseen) {
                Unseen u = unseen();
                u.bound = std::max(u.bound - 1, UNSEEN_FLOOR);
                setUnseen(u);
            }
            survey_.names.insert(std::move(item));
            if (options_.waits && atTop()) {
                Waits w = waits();
                w.count = bounded(countAfterName(w.count));
                setWaits(w);
            }
            break;
        case Directive::Desc:
            if (options_.unseen) {
                // A counter at most zero: this one does not wait, and
                // replaces the last unread.
                Unseen u = unseen();
                if (u.shown != NO_POS)
                    (u.bound <= 0 ? replaced_ : read_)[u.shown] = item.first;
                u.shown = at.first;
                u.bound = std::min(u.bound + 1, 1);
                setUnseen(u);
            }
            survey_.descs.insert(std::move(item));
            if (options_.waits && atTop()) {
                Waits w = waits();
                w.busy = w.busy || descriptionWaits(w.count);
                w.count = bounded(countAfterDescription(w.count));
                setWaits(w);
            }
            break;
        case Directive::Opt:
            bodyLabels_[start + static_cast<uint32_t>(text.size()) + 1] = start;
            survey_.labels.insert(std::move(item));
            break;
        case Directive::Go: survey_.gos.insert(std::move(item)); break;
        case Directive::Set: survey_.sets.insert(std::move(item)); break;
        default:
            // Its true way is followed first; the way it takes shows at the
            // path's next event (see kept).
            if (options_.never && (*options_.never)(text)) {
                setParseTag(place.tag | PENDING);
                awaitNewline_ = true;
                pruning_ = true;
            }
            survey_.conditions.insert(std::move(item));
            break;
        }
    }

    void noticed(Notice notice, Directive what, const WatchPlace &at) override
    {
        if (notice == Notice::TooManyPaths)
            survey_.gaveUp = true;
        if (!kept(NO_POS, notice == Notice::SkipRunsOff))
            return;
        survey_.notes.insert({notice, what, at.last, place(), at.first});
    }

    void ended(int result, const WatchPlace &at) override
    {
        if (!kept(NO_POS, false, true))
            return;
        survey_.ends.insert({result, at.last, place()});
        if (options_.unseen && unseen().shown != NO_POS)
            read_[unseen().shown] = 0;  // a leave, or a pass that may come round to a wait
        if (atTop()) {
            const bool leaves = result == PARSE_GO || result == PARSE_DIE || result == PARSE_WIN;
            if (options_.waits) {
                const Waits w = waits();
                waited_ = waited_ || w.busy || leaves;
                endCount_ = std::max(endCount_, w.count);
                passes_ = true;
            }
        }
    }

    // The descriptions (by their collected start) some path replaces unseen
    // and no path lets the player read, each with the '.desc' of one that
    // replaces it.
    std::map<uint32_t, uint32_t> replacedUnseen() const
    {
        std::map<uint32_t, uint32_t> found;
        for (const auto &[shown, by] : replaced_)
            if (!read_.contains(shown))
                found.emplace(shown, by);
        return found;
    }

    // What the passes of a survey that followed key waits found: whether
    // some pass waits, and the highest count a pass leaves.
    bool waited() const { return waited_ || !passes_; }
    int32_t endCount() const { return endCount_; }

private:
    // Whether what the path does now is kept: not on the true way of a
    // condition play never finds true. A pending path shows its way at its
    // next event: on the true way the byte after the condition's line comes
    // first; on the false way the skip ends (or runs off the text) first.
    // stopsSkip: the event ends a skip; pos: the byte of a byte event; end:
    // the path ends.
    bool kept(uint32_t pos = NO_POS, bool stopsSkip = false, bool end = false)
    {
        if (!pruning_)
            return true;
        const ParsePlace place = parsePlace();
        if (place.tag & DEAD)
            return false;
        if (!(place.tag & PENDING))
            return true;
        const bool skipping = place.condition == ConditionState::SkipBranch ||
                              place.condition == ConditionState::SkipBlock;
        bool trueWay = false;
        if (stopsSkip || (end && skipping))
            trueWay = false;
        else if (end || (pos != NO_POS && pos == pendingAt_ + 1))
            trueWay = true;
        else if (pos == NO_POS || pos <= pendingAt_)
            return true;  // still on the condition's own line
        setParseTag((place.tag & ~PENDING) | (trueWay ? DEAD : 0));
        return !trueWay;
    }

    Unseen unseen() const { return Unseen::from(parsePlace().tag & WAIT_BITS); }
    void setUnseen(const Unseen &u) { setParseTag((parsePlace().tag & ~WAIT_BITS) | u.tag()); }

    Waits waits() const { return Waits::from(parsePlace().tag & WAIT_BITS, options_.startCount); }
    void setWaits(const Waits &w)
    {
        setParseTag((parsePlace().tag & ~WAIT_BITS) | w.tag(options_.startCount));
    }

    // Marks the letters of a directive from its first byte to last (blanks
    // and the line end that completed it are no letters).
    void markRun(uint32_t first, uint32_t last)
    {
        for (uint32_t i = first; i <= last; i++)
            if (text_[i] != ' ' && text_[i] != '\t' && text_[i] != '\n')
                survey_.run[i] = true;
    }

    bool atTop() const { return calls_.size() == 1; }

    Where where(const ParsePlace &place) const
    {
        return {calls_.empty() ? NO_POS : calls_.back(), place.branch, place.branchAt};
    }

    Place place() const
    {
        const ParsePlace at = parsePlace();
        return {at.block,  at.blockAt, at.listAt,   at.depth,  at.statement,           at.condition,
                at.ifAt,   at.branchAt, at.loopAt,  at.branch, std::string(at.word), std::string(at.statementWord),
                calls_.size() > 1, at.blockFirst, at.listFirst};
    }

    Survey &survey_;
    const char *text_;
    std::vector<uint32_t> calls_;                 // the label of each option body being explored
    std::map<uint32_t, uint32_t> bodyLabels_;     // label start by the start of its body
    std::vector<uint8_t> readAt_;
    Options options_;
    bool pruning_ = false;       // some condition play never finds true was read
    bool awaitNewline_ = false;  // such a condition was just read: its line's end comes next
    uint32_t pendingAt_ = NO_POS - 1;  // the end of that line
    std::map<uint32_t, uint32_t> replaced_, read_;
    bool waited_ = false, passes_ = false;
    int32_t endCount_ = DESC_COUNT_FLOOR;
};

// The interpreter explores the script for the surveyor. A text too large to
// hold stops play of the map there, and the survey with it.
void explore(Surveyor &surveyor, Survey &found, const char *text, uint32_t size)
{
    const WatchScope watching(&surveyor);
    try {
        parse_r(text, 0, size);
    } catch (const PlayStopped &stop) {
        found.tooLarge = stop.pos;
        found.gaveUp = true;
    }
}

Survey survey(const char *text, uint32_t size, const Options &options)
{
    Survey found;
    found.run.assign(size, false);
    Surveyor surveyor(found, text, size, options);
    explore(surveyor, found, text, size);
    surveyor.findRun();
    return found;
}

// Whether the passes of a map, begun at count start, never wait for a key
// and leave the count no higher than start (so that no later pass waits
// either: a lower count never makes a description wait sooner); else the
// highest count a pass leaves, in next.
bool idleFrom(const char *text, uint32_t size, const Never *never, int32_t start, int32_t &next)
{
    Survey found;
    found.run.assign(size, false);
    Surveyor surveyor(found, text, size, {true, start, never});
    explore(surveyor, found, text, size);
    next = surveyor.endCount();
    return !found.gaveUp && !surveyor.waited() && next <= start;
}

}  // namespace

std::map<uint32_t, uint32_t> replacedUnseen(const char *text, uint32_t size, const Never &never)
{
    Survey found;
    found.run.assign(size, false);
    Surveyor surveyor(found, text, size, {false, 0, never ? &never : nullptr, true});
    explore(surveyor, found, text, size);
    return found.gaveUp ? std::map<uint32_t, uint32_t>{} : surveyor.replacedUnseen();
}

// A map with a menu, a .go, a .die or a .win somewhere may wait on some
// path, so it is not one that goes idle; only a map with none of them needs
// its passes' key waits followed, pass after pass from a count of zero,
// until the count a pass leaves settles.
Survey surveyMap(const char *text, uint32_t size, const Never &never)
{
    const Never *prune = never ? &never : nullptr;
    Survey found = survey(text, size, {false, 0, prune});
    const bool leaves = std::any_of(found.ends.begin(), found.ends.end(), [](const End &end) {
        return end.result == PARSE_GO || end.result == PARSE_DIE || end.result == PARSE_WIN;
    });
    found.idle = false;
    if (found.menus || leaves || found.gaveUp)
        return found;
    int32_t start = 0;
    for (uint8_t pass = 0; pass < IDLE_PASSES_FOLLOWED; pass++) {
        int32_t next = 0;
        if (idleFrom(text, size, prune, start, next)) {
            found.idle = true;
            found.idleAfter = pass;
            break;
        }
        if (next == start)
            break;  // every pass from here on the same
        start = next;
    }
    return found;
}

}  // namespace survey
