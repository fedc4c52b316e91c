// The least a curses program does to start: read the terminal's description,
// set the terminal up, start colour, and give the terminal back.
#include <curses.h>

#include <clocale>

int main()
{
    setlocale(LC_ALL, "");
    SCREEN *terminal = newterm(nullptr, stdout, stdin);
    if (!terminal)
        return 1;
    start_color();
    endwin();
    delscreen(terminal);
    return 0;
}
