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
#include <signal.h>

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

// Why curses cannot drive the terminal, or null when it can. A terminal
// with no description has no name worth a system error; one that cannot
// move the cursor could not show the panes: curses would start on it, draw a
// line of the title's border, and every key after that would be lost. The
// description is read into a terminal of our own and released again before
// curses starts, so nothing is sent to the terminal.
char *unusableTerminal()
{
    const char *term = getenv("TERM");
    if (!term || !*term)
        return setStringF(nullptr, "TERM is %s, so the terminal's type is unknown", term ? "empty" : "not set");
    TERMINAL *const before = cur_term;
    int status = 0;
    if (setupterm(nullptr, fileno(stdout), &status) != OK)
        return setStringF(nullptr, "terminal '%s' is unknown", term);
    const char *cup = tigetstr("cup");
    char *why = nullptr;
    if (!cup || cup == reinterpret_cast<const char *>(-1))
        why = setStringF(nullptr, "terminal '%s' cannot move the cursor", termname());
    del_curterm(cur_term);
    set_curterm(before);
    return why;
}

// A signal that would end the game: restore the terminal, then end by the
// signal itself, so that whoever started the game knows why it ended (curses
// alone would exit with status 1).
void onSignal(int sig)
{
    endwin();
    signal(sig, SIG_DFL);
    raise(sig);
}

void handle(int sig, void (*handler)(int), int flags)
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    struct sigaction old {};
    // A signal the game was started with ignored (nohup) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
        sigaction(sig, &action, nullptr);
}

// Ctrl-Z: give the terminal back as it was, and stop. Once continued (fg),
// or at once where the system drops the stop (nobody could continue the
// game), the key read takes the terminal back.
void onStop(int)
{
    const int saved = errno;
    endwin();
    signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP);
    handle(SIGTSTP, onStop, 0);
    terminal_resumed = 1;
    errno = saved;
}

void onContinue(int)
{
    terminal_resumed = 1;
}

void handleSignals()
{
    // Every signal whose default is to end the process (with or without a
    // core) and that can come from outside: from the keyboard, the shell,
    // kill, a timer or a resource limit. Faults the game itself would cause
    // (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) are left to their defaults.
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGPIPE, SIGXCPU, SIGXFSZ,
                    SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS, SIGTRAP})
        handle(sig, onSignal, SA_RESTART);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
        handle(sig, onSignal, SA_RESTART);
    // Not restarted: the key read they cut short takes the terminal back.
    handle(SIGTSTP, onStop, 0);
    handle(SIGCONT, onContinue, 0);
}

}  // namespace

int main()
{
    setlocale(LC_ALL, "");
    // newterm reports a terminal it cannot drive instead of exiting on its
    // own, so the failure is ours to report.
    if (char *why = unusableTerminal()) {
        fprintf(stderr, "initscr() error'd: %s\n", why);
        free(why);
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
    handleSignals();
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
