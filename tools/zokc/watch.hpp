// Follows the interpreter through a game played many times over: which
// lines ran and how often, which options were offered, and where the name
// line, description and ending directive being acted on stand.
#pragma once
#include "interp.hpp"
#include "maps.hpp"

#include <cstdint>
#include <vector>

namespace zokc {

class Watcher : public ParseWatch {
public:
    explicit Watcher(const MapStore &maps) : maps_(maps) {}

    // Whether to count the lines that run at all (only coverage needs it).
    bool countLines = true;

    // A pass over the map begins (the loader names it); a pass given up by
    // throwing out of the interpreter leaves its calls unclosed.
    void startPass(uint32_t map);

    // One call of parse_r: where its slice lies and whether it has seen
    // ".loop" (as of its last directive or menu).
    struct Call {
        uint32_t start, limit;
        bool loop = false;
        uint32_t line = NONE;   // the line last counted
    };
    const std::vector<Call> &calls() const { return calls_; }

    uint32_t map() const { return map_; }
    // The ".name" and ".desc" of the text being shown; the ".go", ".exit",
    // ".break", ".die" or ".win" acted on last.
    Location name() const { return {map_, name_}; }
    Location desc() const { return {map_, desc_}; }
    Location end() const { return end_; }
    Directive endWhat() const { return endWhat_; }
    // How the last pass's top call ended, and the directive that ended it
    // (none at the end of the script).
    int result() const { return result_; }
    Location passEnd() const { return passEnd_; }
    // The menu shown last: its list's start and its option bodies (kept,
    // since a pass given up at a menu releases the list).
    uint32_t menuList() const { return menuList_; }
    const std::vector<Pos> &menuBodies() const { return menuBodies_; }

    // Coverage: how many times each line of each map was run, and whether
    // the option whose body starts at a byte was ever offered.
    uint32_t hits(uint32_t map, uint32_t line) const;
    // Whether a pass ever ran over the map (a map that cannot be loaded
    // never does).
    bool reached(uint32_t map) const { return map < seen_.size() && seen_[map].reached; }
    bool offered(uint32_t map, uint32_t bodyStart) const;
    // Forgets the coverage counted so far.
    void clearCoverage()
    {
        seen_.clear();
        current_ = nullptr;
    }

    void enter(uint32_t start, uint32_t limit) override;
    void leave(int result) override;
    void byte(uint32_t pos, MainState main) override;
    void span(uint32_t from, uint32_t to, MainState main) override;
    void directive(Directive what, const WatchPlace &at) override;
    void menu(uint32_t listStart, const PosList *bodies, const WatchPlace &at) override;
    uint32_t skipBody(const char *text, uint32_t start, uint32_t limit) override;

private:
    void count(Call &call, uint32_t pos);
    struct Seen {
        std::vector<uint32_t> hits;      // by line
        std::vector<bool> offered;       // by byte
        std::vector<uint32_t> bodyClose;  // bodyCloseLines' answers, by line, once asked
        bool reached = false;
    };
    Seen &seen(uint32_t map);

    const MapStore &maps_;
    std::vector<Seen> seen_;
    std::vector<Call> calls_;
    uint32_t map_ = NONE;
    const Map *text_ = nullptr;
    Seen *current_ = nullptr;
    uint32_t name_ = 0, desc_ = 0;
    Location end_, passEnd_;
    Directive endWhat_ = Directive::Exit;
    int result_ = PARSE_END;
    uint32_t menuList_ = 0;
    std::vector<Pos> menuBodies_;
};

}  // namespace zokc
