// What play reached of a game, as warnings and as a listing of each map's
// lines with the times they ran.
#pragma once
#include "maps.hpp"
#include "watch.hpp"

#include <iosfwd>

namespace zokc {

// Warnings for the maps of the game folder never reached, the options of
// reached maps never offered and their lines never run.
void reportCoverage(const MapStore &maps, const Watcher &watch, std::vector<diag::Diagnostic> &out);

// Every map of the folder (and any other reached), each line with the
// times it ran: "-" for a line with nothing to run, "#####" for one never run.
void listCoverage(const MapStore &maps, const Watcher &watch, std::ostream &out);

// Lines with something to run, and those that ran, in the maps reached.
struct Covered {
    uint32_t maps = 0, lines = 0, run = 0;
};
Covered covered(const MapStore &maps, const Watcher &watch);

}  // namespace zokc
