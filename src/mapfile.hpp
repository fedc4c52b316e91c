// Reading a map's script from its file, and where a map's file lies.
#pragma once
#include <cstdint>

// Reads the file at path whole into *text (null or a heap block), appends a
// zero byte and returns the byte count including it; 0 when the file cannot
// be opened or read, is not a regular file, or is too large for that count.
uint32_t readfile(char **text, const char *path);

// The file a map's script lives in, "<dir>/<map>.zok", as a new heap string.
char *mapPath(const char *dir, const char *map);

// Whether the file of map (a ".go" target) lies inside the game folder dir.
// The file is "<dir>/<map>.zok", so every name lands inside the folder,
// sub-folders included ("rooms/cellar"; a leading '/' only doubles the
// slash: "/rooms/cellar" is the same map), unless its ".." components climb
// above the folder ("../x", "rooms/../../x").
bool mapPathInside(const char *dir, const char *map);

// Reads the script at path as readfile does; 0 when the map is missing or
// is no readable script (no permission, a directory, a pipe or device, too
// large): either way there is no map to play.
uint32_t readMap(char **text, const char *path);
