// zokc explore: plays every branch of a game and reports what an author
// should know: the endings, the ".go"s to missing maps, the dead ends, the
// maps that run again and again without a key wait, the text the player
// never gets to read, and the maps, options and lines play never reaches.
//
// The search runs over states. A pass state is what decides the rest of play
// at the start of a map pass: the map, the variables, the description-wait
// counter, and the texts on screen the player has not read yet. A menu state
// is a menu being shown: the map, everything the interpreter holds of the
// calls around it (each one's slice and where and how it goes on once the
// menu is answered, kept as one chain of interned calls), where its list
// starts, the variables and the counter. A pass is run from a pass state
// until its first menu, where the front end throws out of it; each option
// of a menu state is then played on from the menu (stages::resumePlay),
// its calls given back from the chain as play needs them, so no part of a
// pass is played twice for one state.
// States are searched breadth-first by the number of choices made, each
// visited once, so the first way found to anything is a shortest one.
#include "cli.hpp"
#include "commands.hpp"
#include "coverage.hpp"
#include "diagnostics.hpp"
#include "keyset.hpp"
#include "lostcause.hpp"
#include "playthrough.hpp"
#include "problems.hpp"

#include "interp.hpp"
#include "stages.hpp"
#include "string.hpp"

#include <algorithm>
#include <iostream>
#include <map>
#include <unordered_set>

namespace {

using namespace zokc;
using diag::Diagnostic;
using diag::plural;
using diag::Severity;

std::string help()
{
    return "usage: zokc explore [--max-states N] [--replays DIR] [-Werror] [-Wno-NAME]... [DIR]\n"
           "\n"
           "Plays every branch of the game in DIR (default: game): every option of\n"
           "every menu, in every state play can reach, where a state is the map, the\n"
           "values of the variables and whether the next description waits for a key.\n"
           "It reports, as file:line:col: error|warning|note: ... [-Wname]:\n"
           "\n" +
           problems::helpList(problems::EXPLORE) +
           "\n"
           "Each problem comes with the shortest choices that reach it.\n"
           "\n"
           "  --max-states N     stop after N states (default 1000000); the report\n"
           "                     then says so and leaves out what it cannot know\n"
           "  --replays DIR      write the replay of each problem and of each ending to\n"
           "                     DIR/<n>-<name>.txt; zokc play --replay FILE plays it\n" +
           problems::optionsHelp(21) +
           "\n"
           "Exit status: 1 when an error was found, 0 otherwise, 2 for bad usage.\n";
}

// The wait counter is kept exactly down to a floor, and the counts below it
// are taken as the floor. Play from a lower count goes the same way as from
// the floor, but that some descriptions that wait from the floor do not wait
// from the lower count (a lower count never waits where the higher does
// not, and once both wait they are one again). So the floor changes nothing
// the search reports as long as every description that waits anywhere after
// a state reached below it waits where the player has nothing unread on
// screen and the pass has already waited for a key: without that wait, the
// screen and the pass's idleness would be the same. The search checks that
// on the graph it found and, where it fails, searches again with a lower
// floor, down to none at all.
constexpr int32_t LOWEST_FLOOR = -1024;

// An edge to the end of the game, and one not known (the search stopped).
constexpr uint32_t GAME_OVER = UINT32_MAX - 1;
constexpr uint32_t UNKNOWN = UINT32_MAX;

enum Kind : uint32_t { PASS, MENU };

// A state as the search keeps it: what decides the rest of play from a pass
// or a menu (see the top of this file). It is kept in a KeySet as words,
// written by encode and read back by decode alone.
struct State {
    Kind kind = PASS;
    uint32_t map = NONE;
    int32_t descCount = 0;  // the wait counter, no lower than the search's floor
    Unread name, desc;      // PASS: the texts on screen not read yet
    uint32_t calls = NONE;    // MENU: the interpreter calls around the menu, as a chain
    uint32_t listStart = 0;   // MENU: where its list starts
    std::vector<VarValue> vars;

    // The words: kind, map, counter; for a pass each unread text as map,
    // place and hash in two words; for a menu the chain of calls and the
    // list's start; then each variable as name and value.
    void encode(std::vector<uint32_t> &key) const
    {
        key.assign({kind, map, static_cast<uint32_t>(descCount)});
        if (kind == PASS) {
            for (const Unread &unread : {name, desc})
                key.insert(key.end(), {unread.at.map, unread.at.pos, static_cast<uint32_t>(unread.hash),
                                       static_cast<uint32_t>(unread.hash >> 32)});
        } else {
            key.insert(key.end(), {calls, listStart});
        }
        for (const VarValue &var : vars)
            key.insert(key.end(), {var.name, static_cast<uint32_t>(var.value)});
    }

    static State decode(std::span<const uint32_t> key)
    {
        State state;
        state.kind = static_cast<Kind>(key[0]);
        state.map = key[1];
        state.descCount = static_cast<int32_t>(key[2]);
        size_t at = 3;
        const auto word = [&] { return key[at++]; };
        if (state.kind == PASS) {
            for (Unread *unread : {&state.name, &state.desc}) {
                unread->at = {word(), word()};
                const uint64_t low = word();
                unread->hash = low | uint64_t{word()} << 32;
            }
        } else {
            state.calls = word();
            state.listStart = word();
        }
        while (at + 1 < key.size())
            state.vars.push_back({word(), static_cast<int32_t>(word())});
        return state;
    }
};

struct Node {
    Kind kind = PASS;
    uint32_t pass = NONE;  // PASS: itself; MENU: the pass state it was first reached from
    uint32_t menu = NONE;  // the menu answered last on the way, in this pass (MENU) or the pass before (PASS)
    uint32_t from = NONE;  // PASS: the pass state of the pass before, NONE at the start
    int32_t answer = -1;   // the answer given at menu
    uint32_t waits = 0;    // key waits after that answer (or the pass's start) on the way here
    uint32_t dist = 0;     // choices made since the start
    uint32_t site = NONE;   // MENU: the menu as the script spells it
    uint32_t options = 0;   // MENU: how many it offers
    int32_t count = 0;      // MENU: the wait counter as first reached, which its options are played on from
    bool merged = false;    // reached with a wait count below the floor
    uint32_t edges = NONE;  // where its successors start in the edge list, once searched
    Location passEnd;       // PASS: the directive that ended its pass
    bool ends = false;      // some answer ends the game
    uint8_t endings = 0;    // how: 1 << Ending for each way
    bool idle = false;      // PASS: its pass waits for no key
};

// How to get somewhere: the way to a state, then an answer at it (when it
// is a menu) and that many key waits.
struct Anchor {
    uint32_t state;
    int32_t answer = -1;
    uint32_t waits = 0;
};

struct Problem {
    Anchor anchor;
    uint32_t dist;
    std::unordered_set<uint32_t> states;  // that meet it
    Location other;  // the text that replaced it, as met by the anchor
    int value = 0;   // rows of a tall description; the kind of an ending
};

// Thrown to give up a pass at the first menu past the answers given.
struct MenuReached {};

class Explorer : public AutoPlayer, Observer, Explored {
public:
    Explorer(Session &session, uint64_t maxStates)
        : AutoPlayer(session.watch), s_(session), maxStates_(maxStates) {}

    void search();
    void report(std::vector<Diagnostic> &out);
    bool complete() const { return !incomplete_; }
    std::string summary() const;

private:
    // AutoPlayer
    int choose(int count) override;
    int chooseOption(WordList *labels) override;
    void showDesc(const char *text) override;
    void keyWait() override;
    // Observer
    void unseen(bool name, Location replaced, Location by) override;
    void tall(Location desc, int rows) override;

    struct Origin {
        uint32_t pass, menu;
        int32_t answer;
        uint32_t dist;
    };
    enum class Outcome { Menu, Pass, Over };

    State restore(uint32_t id);
    Outcome run(const Origin &origin, Ending *ending);
    void searchAll();
    bool floorHeld() const;
    void searchPass(uint32_t id);
    void searchMenu(uint32_t id);
    uint32_t follow(const Origin &origin);
    uint32_t reachPass(const Origin &origin);
    uint32_t reachMenu(const Origin &origin);
    uint32_t addState(const Origin &origin, bool *added);
    Problem *note(Noticed kind, Location at, const Anchor &anchor, uint32_t dist, uint32_t state);
    std::vector<replay::Step> replay(const Anchor &anchor) const;
    Anchor here() const;
    Anchor anchorOf(uint32_t node) const { return {node}; }
    uint32_t parent(uint32_t node) const;

    std::string describe(uint32_t node) const override;
    void findIdleLoops();
    // The first dead state found behind a choice, and all of them.
    struct DeadEnd {
        uint32_t state;
        std::unordered_set<uint32_t> states;
    };
    std::span<const uint32_t> successors(uint32_t node) const;
    std::vector<bool> findLive() const;
    std::map<Location, DeadEnd> findDeadEnds() const;
    void reportDeadEnds(std::vector<Diagnostic> &out);
    std::string label(Location choice) const override;
    // Explored
    uint32_t stateCount() const override { return static_cast<uint32_t>(nodes_.size()); }
    bool atMenu(uint32_t node) const override { return nodes_[node].kind == MENU; }
    uint32_t choicesTo(uint32_t node) const override { return nodes_[node].dist; }
    std::span<const uint32_t> next(uint32_t node) const override;
    uint8_t ends(uint32_t node) const override;
    Location option(uint32_t menu, uint32_t answer) const override;
    std::vector<replay::Step> replayTo(uint32_t node) override { return replay(anchorOf(node)); }
    const MapStore &mapStore() const override { return s_.maps; }
    std::vector<VarValue> variables(uint32_t node) const override { return State::decode(states_.key(node)).vars; }
    const VarNames &varNames() const override { return s_.names; }

    Session &s_;
    uint64_t maxStates_;
    bool incomplete_ = false;

    int32_t floor_ = DESC_COUNT_FLOOR;
    cli::Progress progress_{"zokc explore"};
    KeySet states_, sites_, chains_;
    std::vector<std::vector<std::string>> siteLabels_;  // each menu's labels as replays write them
    std::vector<std::vector<Pos>> siteBodies_;          // and its option bodies
    std::vector<uint32_t> chainLevels_;                 // the calls in each chain
    std::vector<std::string> labels_;                   // those of the menu reached
    std::vector<Node> nodes_;
    std::vector<uint32_t> edges_;
    std::vector<bool> edgeWaits_;   // a description waited on the way along the edge, and it showed (see floorHeld)
    std::vector<uint32_t> queue_;   // menu states to search, in order of distance
    std::vector<uint32_t> pending_; // pass states found and not yet run
    size_t head_ = 0;
    uint64_t passes_ = 0;

    // The pass being run: where it started from.
    Origin origin_{};
    bool waited_ = false;     // a description waited where the wait shows
    bool waitShows_ = false;  // the key wait being made clears unread text or is the pass's first
    uint32_t outside_ = NONE;    // the chain of the calls around the outermost one running
    uint32_t menuCalls_ = NONE;  // the chain of calls around the menu reached
    std::vector<uint32_t> callWords_;

    // Problems by kind and place.
    std::map<std::pair<Noticed, Location>, Problem> found_;

    State state_;                // the state being reached
    std::vector<uint32_t> key_;  // and its words
};

int Explorer::chooseOption(WordList *labels)
{
    labels_.clear();
    for (int32_t at = 0; at < labels->count; at++)
        labels_.push_back(replay::label({labels->items[at]->text, labels->items[at]->length}));
    return AutoPlayer::chooseOption(labels);
}

// The menu stops the pass: the calls around it, outermost first, are each
// interned with the chain of those around it (those outside the calls
// running, when the pass was played on from a menu, are one already).
int Explorer::choose(int)
{
    std::vector<const stages::Call *> calls;
    for (const stages::Call *call = stages::playingCall(); call; call = call->parent)
        calls.push_back(call);
    const std::vector<Watcher::Call> &slices = s_.watch.calls();
    uint32_t chain = outside_;
    for (size_t level = 0; level < calls.size(); level++) {
        const Watcher::Call &slice = slices[level];
        callWords_.assign({chain, slice.start, slice.limit});
        stages::resumeState(*calls[calls.size() - 1 - level], callWords_);
        bool added;
        const uint32_t levels = chain == NONE ? 1 : chainLevels_[chain] + 1;
        chain = chains_.add(callWords_, false, &added);
        if (added)
            chainLevels_.push_back(levels);
    }
    menuCalls_ = chain;
    throw MenuReached{};
}

void Explorer::keyWait()
{
    waitShows_ = screen.name.at.map != NONE || screen.desc.at.map != NONE || events.empty();
}

// renderDesc makes its key wait, if any, just before showing the text.
void Explorer::showDesc(const char *text)
{
    if (descriptionWaits(desc_count) && waitShows_)
        waited_ = true;
    AutoPlayer::showDesc(text);
}

// Counts the state as meeting the problem; returns the problem when this is
// the shortest way to it yet, for the caller to complete.
Problem *Explorer::note(Noticed kind, Location at, const Anchor &anchor, uint32_t dist, uint32_t state)
{
    auto [entry, added] = found_.try_emplace({kind, at});
    Problem &problem = entry->second;
    problem.states.insert(state);
    if (!added && dist >= problem.dist)
        return nullptr;
    problem.anchor = anchor;
    problem.dist = dist;
    return &problem;
}

// The way to where the pass being run stands: its state or last menu, the
// answer given there, and the key waits since.
Anchor Explorer::here() const
{
    uint32_t waits = 0;
    while (waits < events.size() && events[events.size() - 1 - waits].choice < 0)
        waits++;
    return {origin_.menu != NONE ? origin_.menu : origin_.pass, origin_.answer, waits};
}

void Explorer::unseen(bool name, Location replaced, Location by)
{
    if (Problem *problem = note(name ? UNSEEN_NAME : UNSEEN_DESC, replaced, here(), origin_.dist, origin_.pass))
        problem->other = by;
}

void Explorer::tall(Location desc, int rows)
{
    if (Problem *problem = note(TALL, desc, here(), origin_.dist, origin_.pass))
        problem->value = rows;
}

// Play as it stands at a state (at a menu, the player has read everything);
// returns the state.
State Explorer::restore(uint32_t id)
{
    const State state = State::decode(states_.key(id));
    const std::string &map = s_.maps.map(state.map).name;
    if (!go_map || map != go_map)
        go_map = setStringF(go_map, "%s", map.c_str());
    desc_count = state.kind == MENU ? nodes_[id].count : state.descCount;
    screen.name = state.name;
    screen.desc = state.desc;
    writeVariables(s_.names, state.vars);
    return state;
}

// The calls of a menu state's chain, innermost first.
struct ChainCalls : stages::PausedCalls {
    const KeySet &chains;
    uint32_t &outside;  // the chain of those not given yet

    ChainCalls(const KeySet &chains, uint32_t &outside) : chains(chains), outside(outside) {}
    bool outer(uint32_t &start, uint32_t &limit, std::vector<uint32_t> &words) override
    {
        if (outside == NONE)
            return false;
        const auto key = chains.key(outside);
        outside = key[0];
        start = key[1];
        limit = key[2];
        words.assign(key.begin() + 3, key.end());
        return true;
    }
};

// Runs the pass of origin.pass from its start, or, with origin.menu, plays
// it on from that menu with origin.answer chosen.
Explorer::Outcome Explorer::run(const Origin &origin, Ending *ending)
{
    const State from = restore(origin.menu != NONE ? origin.menu : origin.pass);
    waited_ = false;
    origin_ = origin;
    events.clear();
    passes_++;
    outside_ = NONE;
    PassRunner runner = [](const char *text, uint32_t size) { return parse_r(text, 0, size); };
    if (origin.menu != NONE) {
        const Node &menu = nodes_[origin.menu];
        const auto answer = static_cast<size_t>(origin.answer);
        events.push_back({origin.answer, siteLabels_[menu.site][answer]});
        outside_ = from.calls;
        runner = [&, body = siteBodies_[menu.site][answer]](const char *text, uint32_t) {
            ChainCalls calls(chains_, outside_);
            return stages::resumePlay(text, body, chainLevels_[outside_], calls);
        };
    }
    try {
        return playPass(*this, s_.maps.dir().c_str(), s_.view, ending, runner) ? Outcome::Pass : Outcome::Over;
    } catch (const MenuReached &) {
        return Outcome::Menu;
    }
}

// Completes state_ with the variables and adds it; a new state gets a node,
// reached from origin, for the caller to complete, and waits to be searched.
uint32_t Explorer::addState(const Origin &origin, bool *added)
{
    readVariables(s_.names, state_.vars);
    state_.encode(key_);
    const uint32_t id = states_.add(key_, states_.size() >= maxStates_, added);
    if (id == KeySet::MISSING)
        incomplete_ = true;
    if (!*added) {
        if (id == KeySet::MISSING)
            return UNKNOWN;
        nodes_[id].merged = nodes_[id].merged || desc_count < floor_;
        return id;
    }
    const Kind kind = state_.kind;
    Node node;
    node.kind = kind;
    node.pass = kind == PASS ? id : origin.pass;
    node.from = kind == PASS ? origin.pass : NONE;
    node.menu = origin.menu;
    node.answer = origin.answer;
    node.waits = here().waits;
    node.dist = origin.dist;
    node.merged = desc_count < floor_;
    nodes_.push_back(node);
    (kind == PASS ? pending_ : queue_).push_back(id);
    return id;
}

uint32_t Explorer::reachPass(const Origin &origin)
{
    state_.kind = PASS;
    state_.map = s_.maps.id(go_map);
    state_.descCount = std::max(desc_count, floor_);
    state_.name = screen.name;
    state_.desc = screen.desc;
    bool added;
    return addState(origin, &added);
}

uint32_t Explorer::reachMenu(const Origin &origin)
{
    state_.kind = MENU;
    state_.map = s_.watch.map();
    state_.descCount = std::max(desc_count, floor_);
    state_.calls = menuCalls_;
    state_.listStart = s_.watch.menuList();
    bool added;
    const uint32_t id = addState(origin, &added);
    if (!added)
        return id;

    // The menu as the script spells it: its map, list and option bodies.
    std::vector<uint32_t> site{state_.map, state_.listStart};
    for (const Pos &body : s_.watch.menuBodies())
        site.push_back(body.start);
    bool newSite;
    nodes_[id].site = sites_.add(site, false, &newSite);
    if (newSite) {
        siteLabels_.push_back(labels_);
        siteBodies_.push_back(s_.watch.menuBodies());
    }
    nodes_[id].options = static_cast<uint32_t>(s_.watch.menuBodies().size());
    nodes_[id].count = desc_count;
    return id;
}

// Runs the pass from origin and records where it leads; returns the
// successor state, GAME_OVER or UNKNOWN.
uint32_t Explorer::follow(const Origin &origin)
{
    Ending ending;
    const Outcome outcome = run(origin, &ending);
    switch (outcome) {
    case Outcome::Menu:
        return reachMenu(origin);
    case Outcome::Over: {
        const uint32_t state = origin.menu == NONE ? origin.pass : origin.menu;
        static_assert(Explored::END_WON == 1 << static_cast<int>(Ending::Won));
        nodes_[state].endings |= static_cast<uint8_t>(1 << static_cast<int>(ending));
        if (ending == Ending::MapMissing) {
            // Reported at the ".go" that led here, or at the start.
            if (nodes_[origin.pass].from == NONE)
                if (Problem *problem = note(MISSING, {s_.startMap(), 0}, here(), origin.dist, state))
                    problem->other = {s_.startMap(), 0};
        } else if (ending == Ending::TooDeep) {
            // Only the body of the menu answered is entered before the next
            // menu, and that menu was not shown in this run.
            const uint32_t list =
                origin.menu != NONE ? State::decode(states_.key(origin.menu)).listStart : s_.watch.menuList();
            note(TOO_DEEP, {s_.watch.map(), list}, here(), origin.dist, state);
        } else if (Problem *problem = note(ENDING, s_.watch.passEnd(), here(), origin.dist, state)) {
            problem->value = static_cast<int>(ending);
        }
        return GAME_OVER;
    }
    case Outcome::Pass:
        break;
    }
    const Location end = s_.watch.passEnd();
    const bool wentOn = s_.watch.result() == PARSE_GO;
    const bool idle = origin.menu == NONE && events.empty();
    const uint32_t next = reachPass(origin);
    if (idle) {
        nodes_[origin.pass].idle = true;
        nodes_[origin.pass].passEnd = end;
    }
    const uint32_t map = s_.maps.id(go_map);
    if (wentOn && next != UNKNOWN && !s_.maps.map(map).exists)
        if (Problem *problem = note(MISSING, end, anchorOf(next), origin.dist, next))
            problem->other = {map, 0};
    return next;
}

void Explorer::searchPass(uint32_t id)
{
    const uint32_t next = follow({id, NONE, -1, nodes_[id].dist});
    nodes_[id].edges = static_cast<uint32_t>(edges_.size());
    edges_.push_back(next);
    edgeWaits_.push_back(waited_);
    nodes_[id].ends = next == GAME_OVER;
}

void Explorer::searchMenu(uint32_t id)
{
    const Node node = nodes_[id];
    std::vector<uint32_t> next;
    std::vector<bool> waited;
    for (uint32_t option = 0; option < node.options; option++) {
        next.push_back(follow({node.pass, id, static_cast<int32_t>(option), node.dist + 1}));
        waited.push_back(waited_);
        // Pass states found through this answer are searched before the
        // next answer, so that their passes count at this distance.
        while (!pending_.empty()) {
            const uint32_t pass = pending_.back();
            pending_.pop_back();
            searchPass(pass);
        }
    }
    nodes_[id].edges = static_cast<uint32_t>(edges_.size());
    for (const uint32_t to : next) {
        edges_.push_back(to);
        nodes_[id].ends = nodes_[id].ends || to == GAME_OVER;
    }
    edgeWaits_.insert(edgeWaits_.end(), waited.begin(), waited.end());
}

void Explorer::searchAll()
{
    observer = this;
    s_.restart();
    screen = {};
    events.clear();
    reachPass({NONE, NONE, -1, 0});
    while (!pending_.empty()) {
        const uint32_t pass = pending_.back();
        pending_.pop_back();
        searchPass(pass);
    }
    while (head_ < queue_.size() && !incomplete_) {
        searchMenu(queue_[head_++]);
        if (progress_.due())
            progress_.show(plural(nodes_.size(), "state", "states") + ", " + plural(passes_, "pass", "passes") +
                           " run" + (floor_ < DESC_COUNT_FLOOR ? ", searching again with the wait counter kept exactly further down" : ""));
    }
}

// Whether the floor changed nothing (see LOWEST_FLOOR): no state reached
// with a count below it, nor any reached from one, goes on to a description
// whose wait shows.
bool Explorer::floorHeld() const
{
    std::vector<bool> below(nodes_.size(), false);
    std::vector<uint32_t> work;
    for (uint32_t node = 0; node < nodes_.size(); node++)
        if (nodes_[node].merged) {
            below[node] = true;
            work.push_back(node);
        }
    while (!work.empty()) {
        const uint32_t node = work.back();
        work.pop_back();
        if (nodes_[node].edges == NONE)
            continue;
        const auto next = successors(node);
        for (size_t at = 0; at < next.size(); at++) {
            if (edgeWaits_[nodes_[node].edges + at])
                return false;
            // Past a wait that does not show, the lower count goes on
            // unlike the floor's and may still miss waits.
            if (next[at] < nodes_.size() && !below[next[at]]) {
                below[next[at]] = true;
                work.push_back(next[at]);
            }
        }
    }
    return true;
}

void Explorer::search()
{
    for (;;) {
        searchAll();
        if (incomplete_ || floorHeld()) {
            progress_.done();
            return;
        }
        // Again from the start, with the counter kept exactly further down.
        floor_ = floor_ <= LOWEST_FLOOR ? INT32_MIN : floor_ * 4;
        states_ = KeySet{};
        sites_ = KeySet{};
        siteLabels_.clear();
        siteBodies_.clear();
        chains_ = KeySet{};
        chainLevels_.clear();
        nodes_.clear();
        edges_.clear();
        edgeWaits_.clear();
        queue_.clear();
        head_ = 0;
        found_.clear();
        s_.watch.clearCoverage();
    }
}

// The state the search came to this one from: the menu answered last on
// the way, else the pass state it was reached in or from; NONE at the start.
uint32_t Explorer::parent(uint32_t node) const
{
    const Node &n = nodes_[node];
    if (n.menu != NONE)
        return n.menu;
    return n.kind == MENU ? n.pass : n.from;
}

// The prompts from the start of the game to the anchor, as the search met
// them on its first way there.
std::vector<replay::Step> Explorer::replay(const Anchor &anchor) const
{
    std::vector<uint32_t> way;
    for (uint32_t at = anchor.state; at != NONE; at = parent(at))
        way.push_back(at);
    std::vector<replay::Step> all;
    const auto step = [&](uint32_t menu, int32_t answer, uint32_t waits) {
        if (answer >= 0)
            all.push_back({answer, siteLabels_[nodes_[menu].site][static_cast<size_t>(answer)]});
        all.insert(all.end(), waits, replay::Step{-1, {}});
    };
    for (size_t n = way.size(); n-- > 0;) {
        const Node &node = nodes_[way[n]];
        step(n + 1 < way.size() ? way[n + 1] : NONE, node.answer, node.waits);
    }
    step(anchor.state, anchor.answer, anchor.waits);
    return all;
}

std::string Explorer::describe(uint32_t node) const
{
    const State state = State::decode(states_.key(node));
    return "map " + s_.maps.map(state.map).name + " with " + describeVariables(s_.names, state.vars);
}

// A pass that waits for no key leads to one next state; when following such
// passes comes back round, the map runs again and again and the idle rule
// ends the game there.
void Explorer::findIdleLoops()
{
    std::vector<uint8_t> mark(nodes_.size(), 0);  // 0 not seen, 1 on the walk, 2 done
    for (uint32_t first = 0; first < nodes_.size(); first++) {
        std::vector<uint32_t> walk;
        uint32_t at = first;
        while (at < nodes_.size() && mark[at] == 0 && nodes_[at].idle && nodes_[at].edges != NONE) {
            mark[at] = 1;
            walk.push_back(at);
            at = edges_[nodes_[at].edges];
        }
        if (at < nodes_.size() && mark[at] == 1) {
            // The loop is the walk from at onwards; it is reported at its
            // state nearest the start.
            const auto loop = std::find(walk.begin(), walk.end(), at);
            uint32_t nearest = at;
            for (auto it = loop; it != walk.end(); ++it) {
                nodes_[*it].ends = true;
                nodes_[*it].endings |= Explored::END_IDLE;
                if (nodes_[*it].dist < nodes_[nearest].dist)
                    nearest = *it;
            }
            const Node &n = nodes_[nearest];
            const Location where = n.passEnd.map != NONE ? n.passEnd : Location{State::decode(states_.key(nearest)).map, 0};
            note(IDLE, where, anchorOf(nearest), n.dist, nearest);
        }
        for (const uint32_t node : walk)
            mark[node] = 2;
    }
}

std::span<const uint32_t> Explorer::successors(uint32_t node) const
{
    const Node &n = nodes_[node];
    return std::span<const uint32_t>(edges_).subspan(n.edges, n.kind == PASS ? 1 : n.options);
}

std::span<const uint32_t> Explorer::next(uint32_t node) const
{
    return nodes_[node].edges == NONE ? std::span<const uint32_t>() : successors(node);
}

uint8_t Explorer::ends(uint32_t node) const
{
    const auto next = this->next(node);
    const bool open = nodes_[node].edges == NONE || std::find(next.begin(), next.end(), UNKNOWN) != next.end();
    return nodes_[node].endings | (open ? Explored::END_OPEN : 0);
}

Location Explorer::option(uint32_t menu, uint32_t answer) const
{
    const auto site = sites_.key(nodes_[menu].site);
    return {site[0], site[2 + answer] - 1};
}

// The states from which an ending can still be reached: those that end the
// game or lead to a state the search did not finish, and every state that
// leads to one of them, found by walking the edges backwards.
std::vector<bool> Explorer::findLive() const
{
    // Live at once: a state not searched (the search stopped), one some
    // answer of which ends the game, and one with a way the search did not
    // follow; then every state that can reach those.
    std::vector<bool> live(nodes_.size(), false);
    for (uint32_t node = 0; node < nodes_.size(); node++) {
        const auto next = this->next(node);
        live[node] = nodes_[node].edges == NONE || nodes_[node].ends ||
                     std::find(next.begin(), next.end(), UNKNOWN) != next.end();
    }
    return Backward(*this).reaching(std::move(live));
}

// The states from which no ending can be reached, by the choice that leads
// into them from a state that can still finish (the start of the game at
// no place): the nearest one found behind it, and all of them.
std::map<Location, Explorer::DeadEnd> Explorer::findDeadEnds() const
{
    const std::vector<bool> live = findLive();
    std::map<Location, DeadEnd> dead;
    const auto enter = [&](Location choice, uint32_t state) {
        auto [entry, added] = dead.try_emplace(choice, DeadEnd{state, {}});
        if (!added && nodes_[state].dist < nodes_[entry->second.state].dist)
            entry->second.state = state;
        entry->second.states.insert(state);
    };
    const auto count = static_cast<uint32_t>(nodes_.size());
    if (count > 0 && !live[0])
        enter({}, 0);
    for (uint32_t node = 0; node < count; node++) {
        if (nodes_[node].kind != MENU || !live[node] || nodes_[node].edges == NONE)
            continue;
        const auto site = sites_.key(nodes_[node].site);
        const auto next = successors(node);
        for (uint32_t option = 0; option < next.size(); option++)
            if (next[option] < count && !live[next[option]])
                enter({site[0], site[2 + option] - 1}, next[option]);
    }
    return dead;
}

// Each dead end at its choice, with the map and variables of the nearest
// state behind it.
void Explorer::reportDeadEnds(std::vector<Diagnostic> &out)
{
    for (const auto &[choice, end] : findDeadEnds()) {
        Diagnostic d;
        if (choice.map == NONE)
            d = diagnose(s_.maps, {State::decode(states_.key(0)).map, 0}, Severity::Error, "dead-end",
                         "no ending can be reached from the start of the game");
        else
            d = diagnose(s_.maps, choice, Severity::Error, "dead-end",
                         "no ending can be reached after choosing '" + label(choice) + "'");
        std::string more;
        if (end.states.size() > 1)
            more = " (and " + plural(end.states.size() - 1, "more state", "more states") + ")";
        d.notes.push_back({"", "play goes on with no way to finish from " + describe(end.state) + more});
        d.replay = replay(anchorOf(end.state));
        out.push_back(std::move(d));
    }
}

// The label of the option whose body starts after choice, as the survey
// of its map read it, without the blanks around it.
std::string Explorer::label(Location choice) const
{
    for (const survey::Text &label : s_.maps.map(choice.map).survey.labels) {
        if (label.start + label.text.size() != choice.pos)
            continue;
        const size_t first = label.text.find_first_not_of(" \t");
        if (first == std::string::npos)
            return "";
        return label.text.substr(first, label.text.find_last_not_of(" \t") - first + 1);
    }
    return "";
}

void Explorer::report(std::vector<Diagnostic> &out)
{
    findIdleLoops();
    for (const auto &[place, problem] : found_) {
        const auto &[kind, at] = place;
        const std::string states = plural(problem.states.size(), "state", "states");
        Diagnostic d =
            diagnoseNoticed(s_, kind, at, problem.other, problem.value, kind == ENDING ? " (from " + states + ")" : "");
        d.replay = replay(problem.anchor);
        out.push_back(std::move(d));
    }
    reportDeadEnds(out);
    reportLostCauses(*this, out);
    if (!incomplete_)
        reportCoverage(s_.maps, s_.watch, out);
}

std::string Explorer::summary() const
{
    uint32_t menus = 0;
    for (const Node &node : nodes_)
        menus += node.kind == MENU;
    const Covered reached = covered(s_.maps, s_.watch);
    std::string text = plural(nodes_.size(), "state", "states") + " (" + std::to_string(nodes_.size() - menus) +
                       " at a map pass, " + std::to_string(menus) + " at a menu), " +
                       plural(reached.maps, "map", "maps") + " reached, " + std::to_string(reached.run) + " of their " +
                       plural(reached.lines, "line", "lines") + " run, " + plural(passes_, "pass", "passes") + " run";
    if (incomplete_)
        text = "stopped at the limit of " + plural(maxStates_, "state", "states") +
               " (--max-states): not every branch was played, and maps, options and lines never reached are not "
               "reported\nzokc explore: " + text;
    return text;
}

}  // namespace

int exploreCommand(int argc, char **argv)
{
    static const std::string HELP = help();
    cli::Args args(argc, argv, HELP.c_str());
    uint64_t maxStates = 1000000;
    std::string replays, option;
    problems::Filter filter;
    while (args.more()) {
        if (args.prefixed("-W", option))
            filter.take(option);
        else if (!args.number("--max-states", maxStates) && !args.option("--replays", replays))
            args.folder();
    }
    if (maxStates == 0 || maxStates > UINT32_MAX - 2)
        cli::usage("--max-states takes a number from 1 to " + std::to_string(UINT32_MAX - 2));
    const std::string dir = args.dir();

    Session session(dir);
    Explorer explorer(session, maxStates);
    explorer.search();
    std::vector<Diagnostic> found;
    explorer.report(found);
    filter.apply(found);
    const std::string unwritten = diag::report(std::cout, found, replays);
    std::cout << "zokc explore: " << explorer.summary() << "; " << diag::tally(found, ", ") << '\n';
    if (!unwritten.empty())
        throw cli::Exit{cli::EXIT_USAGE, unwritten};
    return diag::count(found, Severity::Error) > 0 ? cli::EXIT_PROBLEMS : cli::EXIT_OK;
}
