// File helpers: existence tests, directory listings read whole and handed
// out entry by entry, guarded removal and file-name extension tests.
#include "fifo.hpp"

#include "string.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

int fileExists(const char *path)
{
    return access(path, F_OK) == 0 ? 1 : 0;
}

namespace {

// The kind of the entry name inside directory, read without following a
// final link; ENTRY_OTHER also when its status cannot be read.
uint8_t entryType(const char *directory, const char *name)
{
    const size_t a = strlen(directory), b = strlen(name);
    auto *full = static_cast<char *>(malloc(a + b + 2));
    if (!full)
        return ENTRY_OTHER;
    memcpy(full, directory, a);
    full[a] = '/';
    memcpy(full + a + 1, name, b + 1);
    struct stat status;
    const bool known = lstat(full, &status) == 0;
    free(full);
    if (!known)
        return ENTRY_OTHER;
    if (S_ISREG(status.st_mode))
        return ENTRY_FILE;
    if (S_ISLNK(status.st_mode))
        return ENTRY_LINK;
    if (S_ISDIR(status.st_mode))
        return ENTRY_DIR;
    return ENTRY_OTHER;
}

// The scan's records, each released once the listing has copied it.
struct Scan {
    dirent **names = nullptr;
    int count = 0;
    int taken = 0;
    ~Scan()
    {
        for (int i = taken; i < count; i++)
            free(names[i]);
        free(names);
    }
};

}  // namespace

Dir *openDir(const char *path, uint32_t tag)
{
    if (!path)
        return nullptr;
    auto *dir = static_cast<Dir *>(malloc(sizeof(Dir)));
    if (!dir) {
        puts("malloc failed");
        return nullptr;
    }
    dir->cursor = nullptr;
    dir->first = nullptr;
    dir->tag = tag;
    dir->path = copyString(nullptr, path);
    if (!dir->path) {
        puts("malloc failed");
        free(dir);
        return nullptr;
    }
    Scan scan;
    scan.count = scandir(dir->path, &scan.names, nullptr, alphasort);
    if (scan.count < 0) {
        perror("openDir");
        closeDir(dir);
        return nullptr;
    }
    DirEntry *last = nullptr;
    for (; scan.taken < scan.count; scan.taken++) {
        dirent *record = scan.names[scan.taken];
        auto *entry = static_cast<DirEntry *>(malloc(sizeof(DirEntry)));
        char *name = entry ? copyString(nullptr, record->d_name) : nullptr;
        if (!name) {
            // A listing with entries missing would mislead: give up whole.
            free(entry);
            puts("malloc failed");
            closeDir(dir);
            return nullptr;
        }
        entry->name = name;
        entry->next = nullptr;
        entry->type = entryType(dir->path, name);
        if (last)
            last->next = entry;
        else
            dir->first = dir->cursor = entry;
        last = entry;
        free(record);
    }
    return dir;
}

DirEntry *readDir(Dir *dir)
{
    if (!dir || !dir->cursor)
        return nullptr;
    DirEntry *entry = dir->cursor;
    dir->cursor = entry->next;
    return entry;
}

int closeDir(Dir *dir)
{
    if (!dir)
        return 1;
    for (DirEntry *entry = dir->first; entry;) {
        DirEntry *next = entry->next;
        free(entry->name);
        free(entry);
        entry = next;
    }
    free(dir->path);
    free(dir);
    return 0;
}

int deleteFile(const char *path)
{
    if (!path)
        return 1;
    if (!fileExists(path))
        return 2;
    return remove(path);
}

int hasExtension(const char *name, const char *extension)
{
    if (!name || !extension)
        return 0;
    const char *dot = strrchr(name, '.');
    return dot && strcmp(dot, extension) == 0 ? 1 : 0;
}
