// Lost causes: in a game that can be won, the choices after which it can
// no longer be, found over the states zokc explore's search reached.
#pragma once
#include "diagnostics.hpp"
#include "maps.hpp"
#include "replay.hpp"
#include "state.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zokc {

// The states a search of every branch reached and the moves between them,
// as the analyses that follow the search read them. State 0 is the start.
class Explored {
public:
    // What some answer of a state (its pass, for a state at a map pass)
    // ends the game with, as bits: 1 << Ending, and END_OPEN when the search
    // did not finish it or stopped at a state it leads to.
    static constexpr uint8_t END_DIED = 1, END_WON = 2, END_MISSING = 4, END_IDLE = 8, END_OPEN = 16;

    virtual uint32_t stateCount() const = 0;
    virtual bool atMenu(uint32_t state) const = 0;
    // The choices made from the start to reach it, fewest first found.
    virtual uint32_t choicesTo(uint32_t state) const = 0;
    // The state each answer leads to (a pass state: the one after its
    // pass); a number of stateCount() or more is no state: the game ended
    // or the search stopped there. Empty when the state was not searched.
    virtual std::span<const uint32_t> next(uint32_t state) const = 0;
    virtual uint8_t ends(uint32_t state) const = 0;
    // The place of a menu state's option: the end of its ".opt" line.
    virtual Location option(uint32_t menu, uint32_t answer) const = 0;
    // The label of the option at that place.
    virtual std::string label(Location option) const = 0;
    // "map hall with key=1".
    virtual std::string describe(uint32_t state) const = 0;
    virtual std::vector<VarValue> variables(uint32_t state) const = 0;
    virtual const VarNames &varNames() const = 0;
    // The prompts from the start of the game to the state.
    virtual std::vector<replay::Step> replayTo(uint32_t state) = 0;
    virtual const MapStore &mapStore() const = 0;

protected:
    ~Explored() = default;
};

// Where the game's maps win ('.win', in any branch), in order of map and place.
std::vector<Location> wins(const MapStore &maps);

// The moves into each state of an explored graph, to walk them backwards.
class Backward {
public:
    explicit Backward(const Explored &graph);
    // The states from which one of those marked can be reached, them included.
    std::vector<bool> reaching(std::vector<bool> marked) const;

private:
    uint32_t count_;
    std::vector<uint32_t> into_, from_;  // into_[n] .. into_[n + 1] index from_, the states moving to n
};

// In a game with a '.win' in some map: an error when no win can be reached
// from the start, and a warning at each option after which none can be
// reached any more while the player still has choices to make. Choices
// that end the game at once, or lead to it ending with no other menu than
// ones whose answers all go the same way, are its endings; states from which no ending at all can be reached are
// dead ends, reported of their own. A state that ends on a problem (a
// missing map, an idle loop) or was not searched to the end is taken as
// one that may still be won.
void reportLostCauses(Explored &graph, std::vector<diag::Diagnostic> &out);

}  // namespace zokc
