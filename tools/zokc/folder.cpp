// Reading a game folder: the listing comes from the core's file helpers and
// each script from the core's map reader, as the game itself would read it.
#include "folder.hpp"

#include "fifo.hpp"
#include "interp.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folder {

namespace {

constexpr std::string_view EXTENSION = ".zok";

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

struct FreeText {
    void operator()(char *text) const { free(text); }
};

void readMapFile(Map &map)
{
    char *block = nullptr;
    const uint32_t size = readMap(&block, map.path.c_str());
    const std::unique_ptr<char, FreeText> text(block);
    if (size == 0) {
        map.problem = whyUnreadable(map.path);
        return;
    }
    map.text.assign(text.get(), size - 1);
    map.survey = survey::surveyMap(text.get(), size);
}

}  // namespace

const Map *Game::find(std::string_view name) const
{
    for (const Map &map : maps)
        if (map.name == name)
            return &map;
    return nullptr;
}

bool readGame(const std::string &dir, Game &game)
{
    // "game/" names its maps "game/start.zok", as "game" does.
    game.dir = dir;
    while (game.dir.size() > 1 && game.dir.back() == '/')
        game.dir.pop_back();
    const DirPtr listing(openDir(game.dir.c_str(), 0));
    if (!listing)
        return false;
    while (const DirEntry *entry = readDir(listing.get())) {
        if (!hasExtension(entry->name, EXTENSION.data()))
            continue;
        Map map;
        const std::string_view name = entry->name;
        map.name = name.substr(0, name.size() - EXTENSION.size());
        map.path = game.dir + "/" + std::string(name);
        game.maps.push_back(std::move(map));
    }
    for (Map &map : game.maps)
        readMapFile(map);
    return true;
}

}  // namespace folder
