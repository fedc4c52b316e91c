// A game's maps held in memory for the commands that play a game many times
// over: each script is read from disk once, then handed to the core's map
// loop as a fresh copy on every pass, with the line table the reports need.
#pragma once
#include "diagnostics.hpp"
#include "game.hpp"

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zokc {

constexpr uint32_t NONE = UINT32_MAX;

// A place in a map's script: the map's id and a byte index into its text.
struct Location {
    uint32_t map = NONE;
    uint32_t pos = 0;
    auto operator<=>(const Location &) const = default;
};

// An option as the script spells it: its ".opt" line and the lines of its
// body up to its own ".tpo" (0-based line numbers).
struct OptionLines {
    uint32_t optLine;
    uint32_t lastLine;
};

struct Map {
    std::string name;  // as ".go" names it
    std::string path;  // DIR/<name>.zok
    bool exists = false;
    std::string text;  // the script, without the terminating zero
    std::vector<uint32_t> lineOf;     // 0-based line of each byte, and of the end
    std::vector<uint32_t> lineStart;  // byte index where each line starts
    std::vector<OptionLines> options;

    uint32_t lines() const { return static_cast<uint32_t>(lineStart.size()); }
    std::string_view line(uint32_t n) const;
    // Whether the line holds anything but blanks.
    bool hasContent(uint32_t n) const;
    // 1-based column of the line's first non-blank byte.
    uint32_t column(uint32_t n) const;
};

class MapStore {
public:
    explicit MapStore(std::string dir);

    const std::string &dir() const { return dir_; }
    // The id of the map of that name, read from disk the first time.
    uint32_t id(std::string_view name);
    const Map &map(uint32_t id) const { return maps_[id]; }
    uint32_t count() const { return static_cast<uint32_t>(maps_.size()); }

    // The loader the core's map loop reads maps through. It tells which map
    // a pass runs over through *current.
    MapLoader loader(uint32_t *current);

    // The maps DIR holds (files named <map>.zok), sorted by name.
    std::vector<std::string> listing() const;

private:
    uint32_t byPath(std::string_view path);

    // Looked up by string_view, without a copy, on every pass.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using Index = std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>>;

    std::string dir_;
    std::vector<Map> maps_;
    Index byName_, byPath_;
};

// A diagnostic at a place in a map, given as the line's first non-blank column.
diag::Diagnostic diagnose(const MapStore &maps, Location at, diag::Severity severity, std::string kind,
                          std::string message);
// "file:line:col" of that place, for a note.
std::string where(const MapStore &maps, Location at);

}  // namespace zokc
