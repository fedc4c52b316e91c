// What the interpreter shows the player. game.cpp defines these: they apply
// the game's rules (the description wait, the key-wait count) and pass the
// text on to the front end set in front_end (game.hpp).
#pragma once

struct WordList;

int renderName(const char *text);
int renderDesc(const char *text);
// Shows the labels as a menu and returns the 0-based index of the choice;
// the list's read cursor is back at its start afterwards.
int handleOptions(WordList *labels);
