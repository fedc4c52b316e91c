// The game run: title screen, name entry, greeting and the map loop.
#pragma once
#include <cstdint>

extern int32_t is_running;
extern int32_t game_mode;
extern int32_t init_mode;

int runInit();
