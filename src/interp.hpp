// The script interpreter: parse_r walks a map's text byte by byte and calls
// the display functions of display.hpp; option bodies run as nested calls.
#pragma once
#include <cstdint>

constexpr int PARSE_END = 0;
constexpr int PARSE_BREAK = 1;
constexpr int PARSE_EXIT = 10;
constexpr int PARSE_GO = 20;
constexpr int PARSE_DIE = 30;
constexpr int PARSE_WIN = 40;

// Where one option's body lies in the text: from just after its label line
// to just after the "o" of its closing ".tpo".
struct Pos {
    uint32_t start;
    uint32_t end;
};

struct PosList {
    uint32_t count;
    Pos *items;
};

PosList *newPosList();
int addPos(PosList *list, uint32_t start, uint32_t end);
int clearPosList(PosList *list);
int freePosList(PosList *list);

// Runs the bytes of text at indices start .. limit - 1 (stopping early at a
// zero byte) and returns one of the PARSE_ codes.
int parse_r(const char *text, uint32_t start, uint32_t limit);

// What the interpreter recognised, as a watcher hears of it.
enum class Directive {
    Name, Desc, Dend, List, Opt, Tpo, Loop, Lend,   // main stage
    Go, Set, Break, Exit, Die, Win,                  // statement stage
    If, Elif, Else, Fi,                              // conditional stage
};

// Lets the author's tools follow a run: which bytes were read, what was
// recognised where, which menus were offered. Null during play. Positions
// are byte indices into the text parse_r was given.
struct ParseWatch {
    virtual ~ParseWatch() = default;
    // A call of parse_r over text[start, limit) begins, or ends with result.
    virtual void enter(uint32_t start, uint32_t limit) { (void)start, (void)limit; }
    virtual void leave(int result) { (void)result; }
    // The byte at pos reaches the statement and main stages (bytes a skip
    // swallows never do).
    virtual void byte(uint32_t pos) { (void)pos; }
    // A directive took effect; pos is the index of the byte that completed
    // it (for .go and .set, the newline that ends the target or the text).
    virtual void directive(Directive what, uint32_t pos) { (void)what, (void)pos; }
    // A menu is about to be shown: the list read from listStart, one body
    // per option in order.
    virtual void menu(uint32_t listStart, const PosList *bodies) { (void)listStart, (void)bodies; }
};

extern ParseWatch *parse_watch;

// The file a map's script lives in, "<dir>/<map>.zok", as a new heap string.
char *mapPath(const char *dir, const char *map);

// Reads the script at path as readfile does; 0 when the map is missing or
// is no readable script (no permission, a directory, a pipe or device, too
// large): either way there is no map to play.
uint32_t readMap(char **text, const char *path);


// Reads the file at path whole into *text (null or a heap block), appends a
// zero byte and returns the byte count including it; 0 when the file cannot
// be opened or read, is not a regular file, or is too large for that count.
uint32_t readfile(char **text, const char *path);

// The current map's name; replaced by ".go".
extern char *go_map;
