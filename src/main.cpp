// Program entry: starts and stops curses, defines the colour pairs, holds
// the interpreter's globals and runs the game.
#include "engine.hpp"
#include "init.hpp"
#include "interp.hpp"
#include "panes.hpp"
#include "string.hpp"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <term.h>

int curs = 0;

namespace {

// The menu's highlight is the one colour the game shows: pair 2, colour 0
// on colour 2, or colour 1 on colour 0 where the terminal has only two
// colours; nothing where it has fewer or cannot hold a pair 2. Only that
// pair is defined: a terminal with 256 colours or more offers tens of
// thousands of pairs, and defining them all would take most of start-up.
void defineHighlightPair()
{
    if (COLOR_PAIRS <= 2 || COLORS < 2)
        return;
    if (COLORS >= 3)
        init_pair(2, 0, 2);
    else
        init_pair(2, 1, 0);
}

// A terminal that cannot move the cursor cannot show the panes: curses would
// start on it, draw a line of the title's border, and every key after that
// would be lost. Its description is read into a terminal of our own and
// released again before curses starts, so nothing is sent to the terminal.
// Returns the terminal's name when it lacks cursor addressing, else null; a
// terminal with no description at all is left for newterm to report.
char *terminalWithoutCursorAddressing()
{
    TERMINAL *const before = cur_term;
    int status = 0;
    if (setupterm(nullptr, fileno(stdout), &status) != OK)
        return nullptr;
    const char *cup = tigetstr("cup");
    char *name = nullptr;
    if (!cup || cup == reinterpret_cast<const char *>(-1))
        name = setStringF(nullptr, "%s", termname());
    del_curterm(cur_term);
    set_curterm(before);
    return name;
}

// Ctrl-C, a hang-up or a termination request: restore the terminal, then
// end by the signal itself, so that whoever started the game knows why it
// ended (curses alone would exit with status 1).
void onSignal(int sig)
{
    endwin();
    signal(sig, SIG_DFL);
    raise(sig);
}

}  // namespace

int main()
{
    setlocale(LC_ALL, "");
    // newterm reports a terminal it cannot drive instead of exiting on its
    // own, so the failure is ours to report.
    if (char *name = terminalWithoutCursorAddressing()) {
        char *message = setStringF(nullptr, "initscr() error'd: terminal '%s' cannot move the cursor", name);
        errno = ENOTSUP;
        perror(message);
        free(message);
        free(name);
        return 1;
    }
    SCREEN *terminal = newterm(nullptr, stdout, stdin);
    if (!terminal) {
        perror("initscr() error'd");
        return 1;
    }
    screen = stdscr;
    curs = curs_set(0);
    noecho();
    nonl();
    keypad(screen, TRUE);
    cbreak();
    for (int sig : {SIGHUP, SIGINT, SIGTERM})
        signal(sig, onSignal);
    if (has_colors()) {
        start_color();
        defineHighlightPair();
    }
    cols = screen ? getmaxx(screen) : -1;
    rows = screen ? getmaxy(screen) : -1;
    const Engine engine;
    game_mode = 0;
    is_running = 1;
    try {
        while (is_running && game_mode == 0)
            runInit();
    } catch (const InputLost &) {
        // The terminal is gone: nobody is left to play, so restore it and end.
    }

    wrefresh(screen);
    delwin(screen);
    endwin();
    delscreen(terminal);
    return 0;
}
