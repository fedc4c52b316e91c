// What the interpreter shows the player. The curses front end defines these
// in display.cpp; tests and other front ends link their own.
#pragma once

struct WordList;

int renderName(const char *text);
int renderDesc(const char *text);
// Shows the labels as a menu and returns the 0-based index of the choice;
// the list's read cursor is back at its start afterwards.
int handleOptions(WordList *labels);
