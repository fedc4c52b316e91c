// The checks zokc check runs over a surveyed game folder.
#pragma once
#include "diagnostics.hpp"
#include "maps.hpp"

#include <string_view>
#include <vector>

namespace checks {

// Every problem found in the game, in order of message (and kind): the
// report sorts them by place and keeps that order at each place.
std::vector<diag::Diagnostic> checkGame(const zokc::MapStore &game);

}  // namespace checks
