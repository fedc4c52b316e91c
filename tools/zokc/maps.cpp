// Reading a game: the listing comes from the core's file helpers, each
// script from the core's map reader, as the game itself would read it, and
// what the script means from the interpreter's own survey of it.
#include "maps.hpp"

#include "fifo.hpp"
#include "interp.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zokc {

namespace {

constexpr std::string_view EXTENSION = ".zok";

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

struct FreeText {
    void operator()(char *text) const { free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

// Why the map reader found no script at path.
std::string whyUnreadable(const std::string &path)
{
    struct stat entry, target;
    if (lstat(path.c_str(), &entry) != 0)
        return strerror(errno);
    if (stat(path.c_str(), &target) != 0)
        return std::string("it is a symbolic link to nothing that can be opened (") + strerror(errno) + ")";
    if (S_ISDIR(target.st_mode))
        return "it is a folder, not a file";
    if (!S_ISREG(target.st_mode))
        return "it is not a regular file but a pipe, a device or a socket";
    if (static_cast<uint64_t>(target.st_size) >= UINT32_MAX)
        return "it is 4 GiB or larger";
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return strerror(errno);
    close(fd);
    return "reading it failed";
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
}

// The options the survey read: each label, with the body a menu showed
// behind it (a label's body starts after its newline).
void findOptions(Map &map)
{
    std::map<uint32_t, uint32_t> bodyEnd;
    for (const auto &[start, end] : map.survey.bodies)
        bodyEnd[start] = end;
    uint32_t last = NONE;
    for (const survey::Text &label : map.survey.labels) {
        if (label.start == last)
            continue;  // the same label read on another way through
        last = label.start;
        const auto body = static_cast<uint32_t>(label.start + label.text.size() + 1);
        OptionLines option{map.lineOf[std::min<size_t>(label.start, map.text.size())], 0, body};
        option.lastLine = option.optLine;
        if (const auto end = bodyEnd.find(body); end != bodyEnd.end() && end->second > 0)
            option.lastLine = map.lineOf[std::min<size_t>(end->second - 1, map.text.size())];
        map.options.push_back(option);
    }
}

}  // namespace

bool leavesFolder(std::string_view target)
{
    return !mapPathInside("", std::string(target).c_str());
}

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

// The maps of the game, sorted by name: those the folder holds and those
// texts stand for.
std::vector<std::string> MapStore::mapNames(const Texts &texts)
{
    std::vector<std::string> names;
    list("", names);
    for (const auto &[name, text] : texts)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

MapStore::MapStore(std::string dir, const Texts &texts) : dir_(std::move(dir))
{
    // "game/" names its maps "game/start.zok", as "game" does.
    while (dir_.size() > 1 && dir_.back() == '/')
        dir_.pop_back();
    std::vector<std::string> names = mapNames(texts);
    for (std::string &name : names) {
        const auto text = texts.find(name);
        maps_[add(std::move(name), text == texts.end() ? nullptr : &text->second)].listed = true;
    }
    listed_ = count();
}

// Adds the maps of the folder sub (of the game folder; "" for itself),
// then those of its sub-folders. Links to folders are not followed, so
// that the walk ends.
void MapStore::list(const std::string &sub, std::vector<std::string> &names)
{
    const DirPtr listing(openDir((sub.empty() ? dir_ : dir_ + "/" + sub).c_str(), 0));
    if (sub.empty())
        readable_ = listing != nullptr;
    std::vector<std::string> folders;
    while (const DirEntry *entry = readDir(listing.get())) {
        const std::string_view file = entry->name;
        const std::string name = sub.empty() ? std::string(file) : sub + "/" + std::string(file);
        if (hasExtension(entry->name, EXTENSION.data()))
            names.push_back(name.substr(0, name.size() - EXTENSION.size()));
        if (entry->type == ENTRY_DIR && file != "." && file != "..")
            folders.push_back(name);
    }
    for (const std::string &folder : folders)
        list(folder, names);
}

std::optional<std::string> MapStore::readFile(const std::string &path)
{
    char *block = nullptr;
    const uint32_t size = readMap(&block, path.c_str());
    const Text script(block);
    if (size == 0)
        return std::nullopt;
    return std::string(block, size - 1);
}

void MapStore::load(Map &map, std::optional<std::string> text)
{
    map.exists = text.has_value();
    map.text = text ? std::move(*text) : std::string();
    map.problem = text ? std::string() : whyUnreadable(map.path);
    map.lineOf.clear();
    map.lineStart.clear();
    map.survey = {};
    map.options.clear();
    index(map);
    if (map.exists) {
        map.survey = survey::surveyMap(map.text.c_str(), static_cast<uint32_t>(map.text.size() + 1));
        findOptions(map);
    }
}

uint32_t MapStore::add(std::string name, const std::string *text)
{
    Map map;
    map.name = std::move(name);
    const Text path(mapPath(dir_.c_str(), map.name.c_str()));
    map.path = path.get();
    load(map, text ? std::optional(*text) : readFile(map.path));
    const auto id = count();
    byName_.emplace(map.name, id);
    byPath_.emplace(map.path, id);
    maps_.push_back(std::move(map));
    return id;
}

MapStore MapStore::of(std::string dir, std::vector<Map> maps)
{
    MapStore store;
    store.dir_ = std::move(dir);
    store.readable_ = true;
    store.maps_ = std::move(maps);
    std::ranges::sort(store.maps_, {}, &Map::name);
    store.listed_ = store.count();
    store.reindex();
    return store;
}

void MapStore::reindex()
{
    byName_.clear();
    byPath_.clear();
    for (uint32_t id = 0; id < count(); id++) {
        byName_.emplace(maps_[id].name, id);
        byPath_.emplace(maps_[id].path, id);
    }
}

void MapStore::setText(std::string_view name, std::string text)
{
    maps_.resize(listed_);  // the maps read when asked for
    auto at = std::ranges::lower_bound(maps_, name, {}, &Map::name);
    if (at == maps_.end() || at->name != name) {
        Map map;
        map.name = std::string(name);
        const Text path(mapPath(dir_.c_str(), map.name.c_str()));
        map.path = path.get();
        map.listed = true;
        at = maps_.insert(at, std::move(map));
        listed_++;
    }
    load(*at, std::move(text));
    reindex();
}

std::set<std::string> MapStore::reread(const Texts &texts)
{
    std::vector<std::string> names = mapNames(texts);

    std::set<std::string> changed;
    std::vector<Map> maps;
    auto old = maps_.begin();
    const auto oldEnd = maps_.begin() + listed_;
    for (std::string &name : names) {
        for (; old != oldEnd && old->name < name; ++old)
            changed.insert(old->name);  // gone
        Map map;
        const bool known = old != oldEnd && old->name == name;
        if (known)
            map = std::move(*old++);
        if (!known) {
            map.name = name;
            const Text path(mapPath(dir_.c_str(), name.c_str()));
            map.path = path.get();
            map.listed = true;
        }
        const auto given = texts.find(name);
        std::optional<std::string> text = given != texts.end() ? std::optional(given->second) : readFile(map.path);
        if (!known || map.exists != text.has_value() || (text && map.text != *text)) {
            changed.insert(name);
            load(map, std::move(text));
        }
        maps.push_back(std::move(map));
    }
    for (; old != oldEnd; ++old)
        changed.insert(old->name);
    maps_ = std::move(maps);
    listed_ = count();
    reindex();
    return changed;
}

uint32_t MapStore::id(std::string_view name)
{
    if (const auto found = byName_.find(name); found != byName_.end())
        return found->second;
    return add(std::string(name), nullptr);
}

const Map *MapStore::find(std::string_view name) const
{
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &maps_[found->second];
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
    if (name.ends_with(EXTENSION))
        name.remove_suffix(EXTENSION.size());
    return id(name);
}

MapView MapStore::view(uint32_t *current)
{
    return [this, current](const char *path) {
        const uint32_t id = byPath(path);
        *current = id;
        const Map &map = maps_[id];
        return map.exists ? std::string_view(map.text.c_str(), map.text.size() + 1) : std::string_view();
    };
}

MapLoader MapStore::loader(MapView view)
{
    return [read = std::move(view)](char **text, const char *path) -> uint32_t {
        const std::string_view map = read(path);
        if (map.empty())
            return 0;
        auto *block = static_cast<char *>(realloc(*text, map.size()));
        if (!block)
            return 0;
        memcpy(block, map.data(), map.size());
        *text = block;
        return static_cast<uint32_t>(map.size());
    };
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
