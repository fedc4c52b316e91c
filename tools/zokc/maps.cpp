// Maps read once and served from memory, with their line tables, the
// options their scripts spell and the places in them reports name.
#include "maps.hpp"

#include "interp.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace zokc {

namespace {

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

// The line without its blanks, as the interpreter's directive words see it.
std::string squeezed(std::string_view line)
{
    std::string word;
    for (const char ch : line)
        if (!isBlank(ch) && ch != '\n')
            word += ch;
    return word;
}

// Where each option of the script lies: an ".opt" line outside a
// description, and its body up to the ".tpo" that closes it, counting the
// options of lists nested in the body as the interpreter does.
void findOptions(Map &map)
{
    bool inDesc = false;
    for (uint32_t n = 0; n < map.lines(); n++) {
        std::string word = squeezed(map.line(n));
        if (inDesc) {
            inDesc = word != ".dend";
            continue;
        }
        if (word.starts_with(".desc")) {
            inDesc = word != ".desc.dend";
            continue;
        }
        if (word.starts_with(".list"))
            word.erase(0, 5);
        if (!word.starts_with(".opt"))
            continue;
        uint32_t last = n + 1, depth = 0;
        for (; last < map.lines(); last++) {
            const std::string body = squeezed(map.line(last));
            if (body.starts_with(".opt"))
                depth++;
            else if (body.starts_with(".tpo") && depth-- == 0)
                break;
        }
        map.options.push_back({n, std::min(last, map.lines() - 1)});
    }
}

void index(Map &map)
{
    map.lineOf.resize(map.text.size() + 1);
    map.lineStart.push_back(0);
    for (uint32_t pos = 0; pos < map.text.size(); pos++) {
        map.lineOf[pos] = map.lines() - 1;
        if (map.text[pos] == '\n' && pos + 1 < map.text.size())
            map.lineStart.push_back(pos + 1);
    }
    map.lineOf[map.text.size()] = map.lines() - 1;
    findOptions(map);
}

}  // namespace

std::string_view Map::line(uint32_t n) const
{
    const uint32_t start = lineStart[n];
    const uint32_t end = n + 1 < lines() ? lineStart[n + 1] : static_cast<uint32_t>(text.size());
    return std::string_view(text).substr(start, end - start);
}

bool Map::hasContent(uint32_t n) const
{
    for (const char ch : line(n))
        if (!isBlank(ch) && ch != '\n')
            return true;
    return false;
}

uint32_t Map::column(uint32_t n) const
{
    const std::string_view text = line(n);
    uint32_t column = 1;
    while (column <= text.size() && isBlank(text[column - 1]))
        column++;
    return column;
}

MapStore::MapStore(std::string dir) : dir_(std::move(dir))
{
    // "game/" names its maps "game/start.zok", as "game" does.
    while (dir_.size() > 1 && dir_.back() == '/')
        dir_.pop_back();
}

uint32_t MapStore::id(std::string_view name)
{
    if (const auto found = byName_.find(name); found != byName_.end())
        return found->second;
    Map map;
    map.name = name;
    const std::unique_ptr<char, decltype(&free)> path(mapPath(dir_.c_str(), map.name.c_str()), free);
    map.path = path.get();
    char *block = nullptr;
    const uint32_t size = readMap(&block, path.get());
    const std::unique_ptr<char, decltype(&free)> text(block, free);
    map.exists = size > 0;
    if (map.exists)
        map.text.assign(block, size - 1);
    index(map);
    const auto id = static_cast<uint32_t>(maps_.size());
    byName_.emplace(map.name, id);
    byPath_.emplace(map.path, id);
    maps_.push_back(std::move(map));
    return id;
}

uint32_t MapStore::byPath(std::string_view path)
{
    // The map loop asks for the paths of maps named by go_map; a name is
    // recognised by its path from then on.
    if (const auto found = byPath_.find(path); found != byPath_.end())
        return found->second;
    const std::string prefix = dir_ + "/";
    std::string_view name = path;
    if (name.starts_with(prefix))
        name.remove_prefix(prefix.size());
    if (name.ends_with(".zok"))
        name.remove_suffix(4);
    return id(name);
}

MapLoader MapStore::loader(uint32_t *current)
{
    return [this, current](char **text, const char *path) -> uint32_t {
        const uint32_t id = byPath(path);
        *current = id;
        const Map &map = maps_[id];
        if (!map.exists)
            return 0;
        const size_t size = map.text.size() + 1;
        auto *block = static_cast<char *>(realloc(*text, size));
        if (!block)
            return 0;
        memcpy(block, map.text.c_str(), size);
        *text = block;
        return static_cast<uint32_t>(size);
    };
}

std::vector<std::string> MapStore::listing() const
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(dir_, error)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 4 && file.ends_with(".zok") && !entry.is_directory(error))
            names.push_back(file.substr(0, file.size() - 4));
    }
    std::sort(names.begin(), names.end());
    return names;
}

diag::Diagnostic diagnose(const MapStore &maps, Location at, diag::Severity severity, std::string kind,
                          std::string message)
{
    const Map &map = maps.map(at.map);
    const uint32_t line = at.pos < map.lineOf.size() ? map.lineOf[at.pos] : 0;
    return {map.path, line + 1, map.column(line), severity, std::move(message), std::move(kind)};
}

std::string where(const MapStore &maps, Location at)
{
    return diag::placeOf(diagnose(maps, at, diag::Severity::Note, "", ""));
}

}  // namespace zokc
