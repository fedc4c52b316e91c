// The map file reader.
#include "mapfile.hpp"

#include "fifo.hpp"
#include "string.hpp"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Only a regular file is a script. The path is opened without blocking, so
// a named pipe cannot hang the game, and the file actually opened is then
// examined, so nothing can be swapped in between: a pipe, a device such as
// /dev/zero or a directory is no script, and neither is a file whose size
// and terminating zero would not fit the 32-bit counts. The block is sized
// once from the file's size; should the file shrink meanwhile, reading stops
// at its end, and bytes it gains meanwhile wait for the next pass.
uint32_t readfile(char **text, const char *path)
{
    struct FileDescriptor {  // closed on every way out
        int fd;
        ~FileDescriptor()
        {
            if (fd >= 0)
                close(fd);
        }
    };
    const FileDescriptor file{open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat status;
    if (file.fd < 0 || fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    if (status.st_size < 0 || static_cast<uint64_t>(status.st_size) >= UINT32_MAX)
        return 0;
    const auto size = static_cast<uint32_t>(status.st_size);
    auto *block = static_cast<char *>(realloc(*text, size + 1));
    if (!block)
        return 0;
    *text = block;
    constexpr uint32_t CHUNK = 1u << 20;
    uint32_t total = 0;
    while (total < size) {
        const ssize_t n = read(file.fd, block + total, size - total < CHUNK ? size - total : CHUNK);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        total += static_cast<uint32_t>(n);
    }
    block[total] = '\0';
    return total + 1;
}

char *mapPath(const char *dir, const char *map)
{
    return setStringF(nullptr, "%s/%s.zok", dir, map);
}

uint32_t readMap(char **text, const char *path)
{
    return fileExists(path) ? readfile(text, path) : 0;
}

bool mapPathInside(const char *dir, const char *map)
{
    (void)dir;  // the folder's own name plays no part: only where map leads from it
    int depth = 0;  // folders below dir
    for (std::string_view rest(map); !rest.empty();) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part == "..")
            depth--;
        else if (!part.empty() && part != ".")
            depth++;
        if (depth < 0)
            return false;
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    }
    return true;
}
