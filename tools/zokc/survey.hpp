// A survey of one map: every way the interpreter can read it, found by
// exploring the script with the interpreter itself (ParseWatch::explore), as
// plain facts the author's checks and the map graph work from.
#pragma once
#include "interp.hpp"

#include <compare>
#include <functional>
#include <map>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace survey {

// Where something was read: inside which option's body (the first byte of
// that option's label, NO_POS at the map's top) and in which branch of a
// conditional block (If, Elif or Else and where it began; Fi and NO_POS
// outside any block).
struct Where {
    uint32_t option = NO_POS;
    Directive branch = Directive::Fi;
    uint32_t branchAt = NO_POS;
    auto operator<=>(const Where &) const = default;
};

// A text a directive collected (see ParseWatch::collected), from byte start.
struct Text {
    uint32_t start;
    std::string text;
    Where where;
    uint32_t first = NO_POS;  // the first byte of the directive that collected it
    auto operator<=>(const Text &) const = default;
};

// Where an explored path stood when something was noticed or when it ended.
struct Place {
    MainState block;
    uint32_t blockAt, listAt;
    int32_t depth;
    StatementState statement;
    ConditionState condition;
    uint32_t ifAt, branchAt, loopAt;
    Directive branch;
    std::string word, statementWord;
    bool inBody;  // in an option's body rather than at the map's top
    uint32_t blockFirst, listFirst;  // where the directives at blockAt and listAt begin
    auto operator<=>(const Place &) const = default;
};

struct Note {
    Notice notice;
    Directive what;
    uint32_t pos;
    Place place;
    uint32_t first;  // the first byte of the directive or word concerned; NO_POS: none
    auto operator<=>(const Note &) const = default;
};

// A path that ended (see ParseWatch::ended).
struct End {
    int result;
    uint32_t pos;
    Place place;
    auto operator<=>(const End &) const = default;
};

// A .die or .win that ends the game, at the byte that completed it.
struct Ending {
    int result;
    uint32_t pos;
    Where where;
    auto operator<=>(const Ending &) const = default;
};

struct Survey {
    std::set<std::pair<Directive, uint32_t>> directives;  // every directive that took effect, and where
    std::set<Text> names, descs, labels, gos, sets, conditions;
    std::set<Ending> endings;
    std::set<Note> notes;
    std::set<End> ends;
    std::set<std::pair<uint32_t, uint32_t>> bodies;  // option bodies of the menus offered
    std::set<uint32_t> skipEndsInList;  // a skip that began between options stopped here
    std::set<uint32_t> condsInText;     // an .if, .elif or .else read as text (its first byte)
    std::set<std::pair<uint32_t, uint32_t>> elifsAfterElse;  // an .elif (its first byte) read in the
                                                             // branch of the .else at the second
    std::vector<bool> run;              // bytes some path runs (rather than passes over as part
                                        // of an option body while the list is read)
    bool menus = false;                 // some path offers a menu
    bool idle = false;                  // from some pass on, no pass of the map waits for a key
    uint8_t idleAfter = 0;              // the passes before that which may wait (with idle)
    bool gaveUp = false;                // too many combinations of branches: the survey is partial
    uint32_t tooLarge = NO_POS;         // a text grew too large to hold here: play stops the map as
                                        // unreadable, and the survey is partial
};

// Whether a condition (as the interpreter collected it) is one play never
// finds true.
using Never = std::function<bool(std::string_view condition)>;

// How many passes of a map the survey follows, each from the count of the
// description counter the last left, to see whether the map goes idle.
constexpr uint8_t IDLE_PASSES_FOLLOWED = 4;

// Surveys text, a script ending in its terminating zero at text[size - 1]
// (as readfile gives it). With never, what play could do only on the true
// way of a condition it never finds true is left out.
Survey surveyMap(const char *text, uint32_t size, const Never &never = {});

// The descriptions some way through the map replaces with another before
// the player can read it, and no way lets the player read: by the first byte
// of each '.desc', the first byte of a '.desc' that replaces it.
std::map<uint32_t, uint32_t> replacedUnseen(const char *text, uint32_t size, const Never &never = {});

}  // namespace survey
