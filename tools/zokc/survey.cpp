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
// tag so that paths which differ here are followed apart. A description
// waits when more descriptions than name lines came since the last wait
// (the map loop's description counter), so a pass waits, this time or on a
// later pass, when it has a description before which that count is above
// zero, or when each pass leaves the count higher than it found it. Once a
// path waits, how does not matter; before, the count is kept within a few
// steps of zero (a lower bound only ever makes a wait more likely), so that
// paths soon agree again.
struct Waits {
    bool busy = false;  // a menu, or a description that waits
    bool desc = false;
    int16_t count = 0;  // descriptions minus name lines so far in the pass
    int16_t peak = 0;   // the highest count a description found (with desc)

    static Waits from(uint64_t tag)
    {
        Waits w;
        w.busy = tag & 1;
        w.desc = tag & 2;
        w.count = static_cast<int16_t>(tag >> 16);
        w.peak = static_cast<int16_t>(tag >> 32);
        return w;
    }
    uint64_t tag() const
    {
        if (busy || (desc && descriptionWaits(peak)))
            return 1;
        return uint64_t{desc} << 1 | uint64_t{static_cast<uint16_t>(count)} << 16 |
               uint64_t{static_cast<uint16_t>(peak)} << 32;
    }
    bool waits() const { return busy || (desc && (descriptionWaits(peak) || descriptionWaits(count))); }
};

int16_t bounded(int value)
{
    return static_cast<int16_t>(std::max(value, DESC_COUNT_FLOOR));
}

class Surveyor : public ParseWatch {
public:
    // waits: follow the key waits of each path (see Waits), which keeps
    // paths apart that would otherwise meet again.
    Surveyor(Survey &survey, const char *text, uint32_t size, bool waits)
        : survey_(survey), text_(text), readAt_(size, 0), waits_(waits)
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
        survey_.directives.insert({what, pos});
        // A ".tpo" is read while its option's body is passed over, and it
        // ends the option: it runs, whatever the body does before it. The
        // words that end a skip are read by the skip alone, and run too.
        const bool skipEnded = what == Directive::Fi ||
                               (what == Directive::Else && at.condition == ConditionState::Normal) ||
                               (what == Directive::Elif && at.condition == ConditionState::Condition);
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
    }

    void menu(uint32_t listStart, const PosList *bodies, const WatchPlace &) override
    {
        (void)listStart;
        for (uint32_t i = 0; i < bodies->count; i++)
            survey_.bodies.insert({bodies->items[i].start, bodies->items[i].end});
        survey_.menus = true;
        if (waits_ && atTop()) {
            Waits w = Waits::from(parsePlace().tag);
            w.busy = true;
            setParseTag(w.tag());
            busy_ = true;
        }
    }

    void collected(Directive what, uint32_t start, std::string_view text, const WatchPlace &at) override
    {
        const ParsePlace place = parsePlace();
        Text item{start, std::string(text), where(place), at.first};
        switch (what) {
        case Directive::Name:
            survey_.names.insert(std::move(item));
            if (waits_ && atTop()) {
                Waits w = Waits::from(place.tag);
                w.count = bounded(countAfterName(w.count));
                setParseTag(w.tag());
            }
            break;
        case Directive::Desc:
            survey_.descs.insert(std::move(item));
            if (waits_ && atTop()) {
                Waits w = Waits::from(place.tag);
                w.peak = bounded(w.desc ? std::max(w.peak, w.count) : w.count);
                w.desc = true;
                w.count = bounded(countAfterDescription(w.count));
                setParseTag(w.tag());
            }
            break;
        case Directive::Opt:
            bodyLabels_[start + static_cast<uint32_t>(text.size()) + 1] = start;
            survey_.labels.insert(std::move(item));
            break;
        case Directive::Go: survey_.gos.insert(std::move(item)); break;
        case Directive::Set: survey_.sets.insert(std::move(item)); break;
        default: survey_.conditions.insert(std::move(item)); break;
        }
    }

    void noticed(Notice notice, Directive what, const WatchPlace &at) override
    {
        if (notice == Notice::TooManyPaths)
            survey_.gaveUp = true;
        survey_.notes.insert({notice, what, at.last, place(), at.first});
    }

    void ended(int result, const WatchPlace &at) override
    {
        survey_.ends.insert({result, at.last, place()});
        if (atTop()) {
            const bool leaves = result == PARSE_GO || result == PARSE_DIE || result == PARSE_WIN;
            if (leaves || Waits::from(parsePlace().tag).waits())
                busy_ = true;
            else
                idle_ = true;
        }
    }

    bool idle() const { return idle_ && !busy_ && !survey_.gaveUp; }

private:
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
    bool waits_;
    bool idle_ = false, busy_ = false;
};

}  // namespace

namespace {

Survey survey(const char *text, uint32_t size, bool waits)
{
    Survey survey;
    survey.run.assign(size, false);
    Surveyor surveyor(survey, text, size, waits);
    const WatchScope watching(&surveyor);
    try {
        parse_r(text, 0, size);
    } catch (const PlayStopped &stop) {
        survey.tooLarge = stop.pos;
        survey.gaveUp = true;
    }
    surveyor.findRun();
    survey.idle = surveyor.idle();
    return survey;
}

}  // namespace

// A map with a menu, a .go, a .die or a .win somewhere may wait on some
// path, so it is not one that never waits; only a map with none of them
// needs its paths' key waits followed, in a second survey.
Survey surveyMap(const char *text, uint32_t size)
{
    Survey found = survey(text, size, false);
    const bool leaves = std::any_of(found.ends.begin(), found.ends.end(), [](const End &end) {
        return end.result == PARSE_GO || end.result == PARSE_DIE || end.result == PARSE_WIN;
    });
    found.idle = false;
    if (!found.menus && !leaves && !found.gaveUp)
        found.idle = survey(text, size, true).idle;
    return found;
}

}  // namespace survey
