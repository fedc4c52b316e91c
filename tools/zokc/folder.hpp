// A game folder as the author's tools read it: every map found in it, its
// script and the survey of how the interpreter reads it.
#pragma once
#include "survey.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace folder {

struct Map {
    std::string name;     // the file name without ".zok"
    std::string path;     // "<dir>/<name>.zok"
    std::string text;     // the script; may hold zero bytes, as a file can
    std::string problem;  // why the script cannot be read; empty when it was
    survey::Survey survey;
};

struct Game {
    std::string dir;
    std::vector<Map> maps;  // in the listing's order (sorted by name)

    const Map *find(std::string_view name) const;
};

// Lists dir for its maps (entries named "*.zok"), reads and surveys each.
// Returns false when the folder cannot be listed.
bool readGame(const std::string &dir, Game &game);

}  // namespace folder
