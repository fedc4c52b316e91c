// The language server's one view of a game folder: the game as every zokc
// command reads it (zokc::MapStore), with the texts of the editor's unsaved
// buffers in place of their files, its problems, and the places the editor asks
// about (variables, .go targets, directives, the outline of a map). All the
// server knows of the script language comes from here.
#pragma once
#include "diagnostics.hpp"
#include "maps.hpp"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace lsp {

// Bytes [start, end) of one map's text.
struct Span {
    uint32_t start = 0, end = 0;
    bool operator==(const Span &) const = default;
    bool holds(uint32_t offset) const { return offset >= start && offset <= end; }
};

struct Place {
    std::string map;  // the map's name
    Span span;
};

// A variable set or tested somewhere.
struct Use {
    Place place;
    bool set;            // set by '.set' rather than tested by a condition
    std::string source;  // the '.set' text or the condition
};

struct Symbol {
    enum Kind { Name, Desc, List, Option } kind;
    std::string text;
    Span span;       // all of it
    Span selection;  // its directive or text
    std::vector<Symbol> children;
};

class Game {
public:
    explicit Game(std::string dir) : dir_(std::move(dir)) {}

    const std::string &dir() const { return dir_; }

    // Lists the folder again and reads the maps no buffer stands for,
    // surveying again only those whose text changed. False when the folder
    // cannot be listed.
    bool refresh();
    // A buffer's text stands for the map's file until dropText.
    void setText(const std::string &map, std::string text);
    void dropText(const std::string &map);
    bool hasBuffer(const std::string &map) const { return buffers_.contains(map); }
    // Surveys the maps whose text changed; the questions below see the
    // texts as they stood at the last settle.
    void settle();

    std::vector<std::string> mapNames() const;
    bool hasMap(std::string_view map) const { return find(map) != nullptr; }
    std::string pathOf(std::string_view map) const { return dir_ + "/" + std::string(map) + ".zok"; }
    // The map's text, or null when there is no such map.
    const std::string *text(std::string_view map) const;

    // zokc check's problems. Only the maps changed since the last check are
    // checked again, unless a change can reach other maps (a '.go' target,
    // a variable set or tested, a map added or gone): then the whole game.
    std::vector<diag::Diagnostic> check();

    // Variables: every name set or tested, the one at offset of a map, and
    // every use of one in every map.
    std::set<std::string> variables() const;
    std::optional<std::pair<std::string, Span>> variableAt(std::string_view map, uint32_t offset) const;
    std::vector<Use> uses(std::string_view variable) const;
    std::vector<Use> setsIn(std::string_view map) const;

    // .go targets: the one at offset, and every '.go' to a map.
    std::optional<std::pair<std::string, Span>> goAt(std::string_view map, uint32_t offset) const;
    std::vector<Place> gosTo(std::string_view target) const;

    // The directive at offset ("." included), as the interpreter read it.
    std::optional<std::pair<std::string, Span>> directiveAt(std::string_view map, uint32_t offset) const;
    // The text of the map's first name line, and where it is.
    std::optional<std::pair<std::string, Span>> nameLine(std::string_view map) const;
    std::vector<Symbol> outline(std::string_view map) const;

private:
    // What other maps' problems depend on in a map.
    struct Interface {
        std::set<std::string> gos, set, tested;
        std::string problem;
        bool operator==(const Interface &) const = default;
    };
    static Interface interfaceOf(const zokc::Map &map);
    std::vector<diag::Diagnostic> checkAll();

    const zokc::Map *find(std::string_view map) const { return game_ ? game_->find(map) : nullptr; }

    std::string dir_;
    std::optional<zokc::MapStore> game_;
    zokc::Texts buffers_;
    std::set<std::string> stale_;      // maps whose buffer the store has not surveyed yet
    std::set<std::string> unchecked_;  // maps whose text changed since the last check
    std::map<std::string, Interface> interfaces_;                    // at the last check
    std::map<std::string, std::vector<diag::Diagnostic>> problems_;  // at the last check, by map ("" the game's)
};

// Whether zokc check finds problems of this kind (rather than play does).
bool isCheckKind(std::string_view kind);

}  // namespace lsp
