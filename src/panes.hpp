// The curses front end's shared state: the screen, its three panes, and the
// key wait every prompt uses. display.cpp defines them.
#pragma once
#include <curses.h>
#include <csignal>
#include <cstdint>
#include <functional>

struct WordList;

extern WINDOW *screen;
extern int32_t rows, cols;
extern WINDOW *w_name, *w_desc, *w_opts;

// Thrown by the key reads when the terminal's input is gone; main catches it,
// restores the terminal and exits.
struct InputLost {};

// Set by the signal handlers when the game comes back from a stop: the key
// read the signal cut short puts the terminal back into the game's modes
// (the shell had it and may have left its own: arrows would then arrive as
// bytes, not keys) and has the screen drawn again, at its new size if it
// changed meanwhile.
extern volatile sig_atomic_t terminal_resumed;

// Creates the three panes in their first layout.
int createPanes();
int reinitDisplay();
// Waits for one key on the standard screen and returns it. A resize is not a
// key: the panes (once they exist) are laid out anew and the wait goes on.
int waitKey();
// One key as name entry and the menu read it: like waitKey, but a resize is
// handed back as KEY_RESIZE so the caller can redraw.
int readKey();
// Lays the panes out for the new terminal size and paints them again.
void repaintAfterResize();
// Shows a drawing on the whole standard screen (the title, before the panes
// exist) and keeps it, so that a resize draws it again.
void showScreen(std::function<void()> draw);
// Shows a drawing in the options pane (a prompt, name entry, the menu),
// erased first, and keeps it, so that a resize draws it again.
void showOptions(std::function<void(WINDOW *)> draw);
// Erases the options pane and shows "<continue>" there, then waits for a key.
void continuePrompt();
// The name line and a description, each replacing what its pane showed,
// control bytes shown in caret notation.
void drawName(const char *text);
void drawDesc(const char *text);
// The option menu: the labels in the options pane, the highlight moved with
// Up and Down; returns the 0-based index of the label Enter picked.
int runMenu(WordList *labels);
