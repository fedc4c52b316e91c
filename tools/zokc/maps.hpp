// The game as every zokc command reads it: the maps of the game folder and
// of its sub-folders, found through the core's directory listing, each
// script read by the core's map reader, with its line table and the survey
// of how the interpreter reads it (its options come from there too). Maps a
// ".go" names that the folder does not hold are added when asked for, and
// the maps are served to the core's map loop from memory, a fresh copy on
// every pass.
#pragma once
#include "diagnostics.hpp"
#include "game.hpp"
#include "survey.hpp"

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
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

// An option as the interpreter reads it: the line of its ".opt", the last
// line of its body (its ".tpo"; the ".opt" line when no menu shows it) and
// where its body starts.
struct OptionLines {
    uint32_t optLine;
    uint32_t lastLine;
    uint32_t bodyStart;
};

struct Map {
    std::string name;     // as ".go" names it: "start", "rooms/cellar"
    std::string path;     // DIR/<name>.zok
    bool listed = false;  // found in the game folder (or given as a text)
    bool exists = false;  // its script was read
    std::string problem;  // why the script cannot be read, when it cannot
    std::string text;     // the script, without the terminating zero; may hold zero bytes
    std::vector<uint32_t> lineOf;     // 0-based line of each byte, and of the end
    std::vector<uint32_t> lineStart;  // byte index where each line starts
    survey::Survey survey;
    std::vector<OptionLines> options;  // in the order of their labels

    uint32_t lines() const { return static_cast<uint32_t>(lineStart.size()); }
    std::string_view line(uint32_t n) const;
    // Whether the line holds anything but blanks.
    bool hasContent(uint32_t n) const;
    // 1-based column of the line's first non-blank byte.
    uint32_t column(uint32_t n) const;
};

// Scripts that stand for files, by map name: an editor's unsaved buffers.
using Texts = std::map<std::string, std::string, std::less<>>;

// Whether a ".go" target leads out of the game folder, by the core's rule
// (mapPathInside): only ".." components that climb above the folder do.
// Any other target is a map of the game, in the folder or a sub-folder.
bool leavesFolder(std::string_view target);

class MapStore {
public:
    // Reads every map of the game in dir, sub-folders included; texts take
    // the place of the files of those names, or add maps.
    explicit MapStore(std::string dir, const Texts &texts = {});
    // The maps given, read already, as the listed maps of the game in dir
    // (they need not be sorted): a part of a game, to check only that.
    static MapStore of(std::string dir, std::vector<Map> maps);

    // For an editor, which changes one map at a time: the ids of the maps
    // may change with each of these, and the maps read when asked for are
    // forgotten.
    // Gives the map of that name this text in place of its file (a map the
    // store lacks is added) and surveys it again.
    void setText(std::string_view name, std::string text);
    // Lists the folder again and reads the maps texts does not stand for.
    // A map whose text is unchanged keeps its survey; the names of those
    // changed, added or gone are returned. False in readable() when the
    // folder can no longer be listed.
    std::set<std::string> reread(const Texts &texts);

    const std::string &dir() const { return dir_; }
    // Whether the folder could be listed.
    bool readable() const { return readable_; }
    // The maps the folder holds have the ids 0 .. listed() - 1, in order of name.
    uint32_t listed() const { return listed_; }
    std::span<const Map> listedMaps() const { return {maps_.data(), listed_}; }
    // The id of the map of that name, read the first time it is asked for.
    uint32_t id(std::string_view name);
    // The map of that name if it is read already, without reading it.
    const Map *find(std::string_view name) const;
    const Map &map(uint32_t id) const { return maps_[id]; }
    uint32_t count() const { return static_cast<uint32_t>(maps_.size()); }

    // The maps' texts as the store holds them, for the core's map loop. It
    // tells which map a pass runs over through *current.
    MapView view(uint32_t *current);
    // A loader that gives each pass a copy of what view gives.
    static MapLoader loader(MapView view);

private:
    MapStore() = default;
    uint32_t add(std::string name, const std::string *text);
    // Gives a map its text (or the reason there is none), its line table
    // and its survey.
    static void load(Map &map, std::optional<std::string> text);
    static std::optional<std::string> readFile(const std::string &path);
    void reindex();
    uint32_t byPath(std::string_view path);
    void list(const std::string &sub, std::vector<std::string> &names);
    std::vector<std::string> mapNames(const Texts &texts);

    // Looked up by string_view, without a copy, on every pass.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using Index = std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>>;

    std::string dir_;
    bool readable_ = false;
    uint32_t listed_ = 0;
    std::vector<Map> maps_;
    Index byName_, byPath_;
};

// A diagnostic at a place in a map, given as the line's first non-blank column.
diag::Diagnostic diagnose(const MapStore &maps, Location at, diag::Severity severity, std::string kind,
                          std::string message);
// "file:line:col" of that place, for a note.
std::string where(const MapStore &maps, Location at);

}  // namespace zokc
