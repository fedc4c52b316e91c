// The checks zokc check runs over a surveyed game folder.
#pragma once
#include "diagnostics.hpp"
#include "maps.hpp"

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace checks {

// Every problem found in the game, in order of message (and kind): the
// report sorts them by place and keeps that order at each place.
std::vector<diag::Diagnostic> checkGame(const zokc::MapStore &game);

// The variables a condition reads, each with its offset in the condition:
// the form is decided by the first '&' or '=' in it.
std::vector<std::pair<std::string, size_t>> testedNames(std::string_view condition);
// The variable a .set text names: everything before its first space.
std::string_view setName(std::string_view text);

// Whether play never finds a condition true when only the variables in set
// are ever set.
bool neverTrue(std::string_view condition, const std::set<std::string> &set);

}  // namespace checks
