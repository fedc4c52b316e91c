// Lost causes, found by walking the moves of the explored states backwards
// from the states that win, that end at all, and that offer a choice.
#include "lostcause.hpp"

#include "problems.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace zokc {

Backward::Backward(const Explored &graph) : count_(graph.stateCount()), into_(count_ + 1, 0)
{
    for (uint32_t state = 0; state < count_; state++)
        for (const uint32_t to : graph.next(state))
            if (to < count_)
                into_[to + 1]++;
    for (uint32_t state = 0; state < count_; state++)
        into_[state + 1] += into_[state];
    from_.resize(into_[count_]);
    std::vector<uint32_t> fill(into_.begin(), into_.end() - 1);
    for (uint32_t state = 0; state < count_; state++)
        for (const uint32_t to : graph.next(state))
            if (to < count_)
                from_[fill[to]++] = state;
}

std::vector<bool> Backward::reaching(std::vector<bool> marked) const
{
    std::vector<uint32_t> work;
    for (uint32_t state = 0; state < count_; state++)
        if (marked[state])
            work.push_back(state);
    while (!work.empty()) {
        const uint32_t state = work.back();
        work.pop_back();
        for (uint32_t at = into_[state]; at < into_[state + 1]; at++)
            if (!marked[from_[at]]) {
                marked[from_[at]] = true;
                work.push_back(from_[at]);
            }
    }
    return marked;
}

namespace {

using diag::Diagnostic;
using diag::plural;
using diag::Severity;


// The states after an option that lose the game: the one fewest choices
// from the start (and the menu state it was chosen at), and all of them.
struct Lost {
    uint32_t first, menu;
    std::set<uint32_t> states;
};

// The variables that differ between two states, with their values in after.
std::vector<VarValue> changes(std::vector<VarValue> before, const std::vector<VarValue> &after)
{
    std::vector<VarValue> changed;
    for (const VarValue &var : after) {
        const auto was =
            std::find_if(before.begin(), before.end(), [&](const VarValue &old) { return old.name == var.name; });
        if (was == before.end() || was->value != var.value)
            changed.push_back(var);
        if (was != before.end())
            before.erase(was);
    }
    for (const VarValue &gone : before)
        changed.push_back({gone.name, 0});
    return changed;
}

}  // namespace

std::vector<Location> wins(const MapStore &maps)
{
    std::vector<Location> found;
    for (uint32_t map = 0; map < maps.listed(); map++)
        for (const survey::Ending &ending : maps.map(map).survey.endings)
            if (ending.result == PARSE_WIN)
                found.push_back({map, ending.pos});
    return found;
}

void reportLostCauses(Explored &graph, std::vector<Diagnostic> &out)
{
    const MapStore &maps = graph.mapStore();
    const std::vector<Location> winAt = wins(maps);
    const uint32_t count = graph.stateCount();
    if (winAt.empty() || count == 0)
        return;
    const Backward backward(graph);
    std::vector<bool> ending(count), winning(count), choosing(count);
    for (uint32_t state = 0; state < count; state++) {
        const uint8_t ends = graph.ends(state);
        ending[state] = ends != 0;
        winning[state] = (ends & ~Explored::END_DIED) != 0;
        // A menu whose answers all lead to the same place (one option, or
        // deaths only) is no choice left: it ends a game already lost.
        const auto next = graph.next(state);
        choosing[state] =
            graph.atMenu(state) && std::adjacent_find(next.begin(), next.end(), std::not_equal_to<>()) != next.end();
    }
    const std::vector<bool> live = backward.reaching(std::move(ending));
    const std::vector<bool> winnable = backward.reaching(std::move(winning));
    const std::vector<bool> toChoice = backward.reaching(std::move(choosing));

    if (!winnable[0]) {
        if (live[0]) {
            // With no way to finish at all, the dead end says so.
            uint32_t start = 0;
            while (start + 1 < maps.count() && maps.map(start).name != "start")
                start++;
            Diagnostic d = diagnose(maps, {start, 0}, problems::severity("unwinnable"), "unwinnable",
                                    "no win can be reached from the start of the game");
            for (const Location at : winAt)
                d.notes.push_back({where(maps, at), "play never comes to this '.win'"});
            out.push_back(std::move(d));
        }
        return;
    }

    std::map<Location, Lost> lost;
    for (uint32_t state = 0; state < count; state++) {
        if (!graph.atMenu(state) || !winnable[state])
            continue;
        const auto next = graph.next(state);
        for (uint32_t answer = 0; answer < next.size(); answer++) {
            const uint32_t to = next[answer];
            if (to >= count || winnable[to] || !live[to] || !toChoice[to])
                continue;
            auto [entry, added] = lost.try_emplace(graph.option(state, answer), Lost{to, state, {}});
            Lost &found = entry->second;
            if (!added && graph.choicesTo(to) < graph.choicesTo(found.first)) {
                found.first = to;
                found.menu = state;
            }
            found.states.insert(to);
        }
    }
    for (const auto &[option, found] : lost) {
        Diagnostic d = diagnose(maps, option, problems::severity("lost-cause"), "lost-cause",
                                "no win can be reached any more after choosing '" + graph.label(option) + "'");
        std::string more;
        if (found.states.size() > 1)
            more = " (and " + plural(found.states.size() - 1, "more state", "more states") + ")";
        d.notes.push_back({"", "play goes on with no way to win from " + graph.describe(found.first) + more});
        if (const auto changed = changes(graph.variables(found.menu), graph.variables(found.first)); !changed.empty())
            d.notes.push_back({"", "that choice set " + describeVariables(graph.varNames(), changed)});
        d.replay = graph.replayTo(found.first);
        out.push_back(std::move(d));
    }
}

}  // namespace zokc
