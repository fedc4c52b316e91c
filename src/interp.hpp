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

// The file a map's script lives in, "game/<map>.zok", as a new heap string.
char *mapPath(const char *map);

// Reads the script at path as readfile does; 0 when the map is missing or
// is no readable script (no permission, a directory, a pipe or device, too
// large): either way there is no map to play.
uint32_t readMap(char **text, const char *path);

// The two endings, the same on every front end.
constexpr const char *DEATH_MESSAGE =
    "It seems you've kicked the bucket in some manner or another - good luck next time!";
constexpr const char *VICTORY_MESSAGE = "Congratulations, victory is yours!";

// Reads the file at path whole into *text (null or a heap block), appends a
// zero byte and returns the byte count including it; 0 when the file cannot
// be opened or read, is not a regular file, or is too large for that count.
uint32_t readfile(char **text, const char *path);

// The current map's name; replaced by ".go".
extern char *go_map;
