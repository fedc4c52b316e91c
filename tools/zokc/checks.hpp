// The checks zokc check runs over a surveyed game folder.
#pragma once
#include "diagnostics.hpp"
#include "folder.hpp"

#include <string_view>
#include <vector>

namespace checks {

// One kind of problem: its -W name, how sure the game is to misbehave, and
// a line for --help.
struct Kind {
    const char *name;
    diag::Severity severity;
    const char *about;
};

extern const std::vector<Kind> KINDS;

const Kind *findKind(std::string_view name);

// Every problem found in the game, in order of message (and kind): the
// report sorts them by place and keeps that order at each place.
std::vector<diag::Diagnostic> checkGame(const folder::Game &game);

}  // namespace checks
