// Coverage of a game: the maps, options and lines play reached.
#include "coverage.hpp"

#include "plain.hpp"
#include "problems.hpp"

#include <iomanip>
#include <ostream>

namespace zokc {

namespace {

// The maps of the folder, then any other play reached (".go ../x").
std::vector<uint32_t> allMaps(const MapStore &maps, const Watcher &watch)
{
    std::vector<uint32_t> ids;
    for (uint32_t id = 0; id < maps.count(); id++)
        if (id < maps.listed() || watch.reached(id))
            ids.push_back(id);
    return ids;
}

// The options never offered, not counting those inside the body of one
// (their lines are reported once, as that option), and all their lines.
struct Unoffered {
    std::vector<uint32_t> options;  // .opt lines
    std::vector<bool> lines;
};

Unoffered unoffered(const Map &map, uint32_t id, const Watcher &watch)
{
    Unoffered found{{}, std::vector<bool>(map.lines(), false)};
    for (const OptionLines &option : map.options) {
        if (found.lines[option.optLine] || option.bodyStart >= map.text.size() ||
            watch.offered(id, option.bodyStart))
            continue;
        found.options.push_back(option.optLine);
        for (uint32_t line = option.optLine; line <= option.lastLine; line++)
            found.lines[line] = true;
    }
    return found;
}

}  // namespace

void reportCoverage(const MapStore &maps, const Watcher &watch, std::vector<diag::Diagnostic> &out)
{
    const auto warn = [&](Location at, const char *kind, std::string message) {
        out.push_back(diagnose(maps, at, problems::severity(kind), kind, std::move(message)));
    };
    for (const uint32_t id : allMaps(maps, watch)) {
        const Map &map = maps.map(id);
        if (!watch.reached(id)) {
            if (map.exists)
                warn({id, 0}, "never-reached", "this map is never reached");
            continue;
        }
        const Unoffered never = unoffered(map, id, watch);
        const std::vector<bool> &skip = never.lines;
        for (const uint32_t line : never.options)
            warn({id, map.lineStart[line]}, "never-offered", "this option is never offered");
        for (uint32_t line = 0; line < map.lines(); line++) {
            if (skip[line] || !map.hasContent(line) || watch.hits(id, line) > 0)
                continue;
            uint32_t last = line;
            for (uint32_t next = line + 1; next < map.lines() && !skip[next] && watch.hits(id, next) == 0; next++)
                if (map.hasContent(next))
                    last = next;
            warn({id, map.lineStart[line]}, "never-run",
                 last == line ? "this line never runs"
                              : "lines " + std::to_string(line + 1) + "-" + std::to_string(last + 1) + " never run");
            line = last;
        }
    }
}

void listCoverage(const MapStore &maps, const Watcher &watch, std::ostream &out)
{
    for (const uint32_t id : allMaps(maps, watch)) {
        const Map &map = maps.map(id);
        out << plain::visible(map.path) << ":" << (watch.reached(id) ? "" : " never reached") << '\n';
        if (!watch.reached(id))
            continue;
        for (uint32_t line = 0; line < map.lines(); line++) {
            const uint32_t hits = watch.hits(id, line);
            std::string_view text = map.line(line);
            if (text.ends_with('\n'))
                text.remove_suffix(1);
            out << std::setw(9) << (!map.hasContent(line) ? "-" : hits == 0 ? "#####" : std::to_string(hits))
                << ':' << std::setw(5) << line + 1 << ':' << plain::visible(text) << '\n';
        }
    }
}

Covered covered(const MapStore &maps, const Watcher &watch)
{
    Covered total;
    for (uint32_t id = 0; id < maps.count(); id++) {
        if (!watch.reached(id))
            continue;
        const Map &map = maps.map(id);
        total.maps++;
        for (uint32_t line = 0; line < map.lines(); line++) {
            total.lines += map.hasContent(line);
            total.run += map.hasContent(line) && watch.hits(id, line) > 0;
        }
    }
    return total;
}

}  // namespace zokc
