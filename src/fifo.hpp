// File helpers: the existence test the map loop uses, a sorted directory
// listing with entry types, guarded file removal and file-name extensions.
#pragma once
#include <cstdint>
#include <memory>

// Kinds of directory entry, as the entry itself is (a link is not followed).
constexpr uint8_t ENTRY_OTHER = 0;  // device, pipe, socket, or status unreadable
constexpr uint8_t ENTRY_FILE = 1;
constexpr uint8_t ENTRY_DIR = 2;
constexpr uint8_t ENTRY_LINK = 3;

struct DirEntry {
    char *name;      // the entry's own name, without the directory path; owned
    uint8_t type;    // one of the ENTRY_ kinds
    DirEntry *next;  // following entry in sorted order; null for the last
};

// A snapshot of one directory, read and sorted whole when it is opened.
struct Dir {
    char *path;        // copy of the directory path; owned
    uint32_t tag;      // kept for the caller, never read here
    DirEntry *first;   // null when the listing is empty
    DirEntry *cursor;  // entry readDir hands out next; null once all are out
};

int fileExists(const char *path);

// The listing of path, "." and ".." included, in alphasort order; null for
// a null path or a directory that cannot be scanned.
Dir *openDir(const char *path, uint32_t tag);
// The next entry, or null once all are handed out (and for a null listing).
// Entries belong to the listing and stay valid until closeDir.
DirEntry *readDir(Dir *dir);
// 0, or 1 for a null listing.
int closeDir(Dir *dir);
// 1 for a null path, 2 when nothing is there, else remove's result.
int deleteFile(const char *path);
// 1 when name from its last dot on equals extension (dot included), else 0.
int hasExtension(const char *name, const char *extension);

// Owning handle for call sites that must close a listing on every path.
struct DirClose {
    void operator()(Dir *dir) const { closeDir(dir); }
};
using DirPtr = std::unique_ptr<Dir, DirClose>;
