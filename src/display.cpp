// The three panes (name line, description, options), their layout and
// re-layout on resize, drawing the name line, a description and the option
// menu, and the key reads every prompt goes through.
#include "panes.hpp"

#include "Word.hpp"
#include "title.hpp"

#include <algorithm>
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

WINDOW *screen = nullptr;
int32_t rows = -1, cols = -1;
WINDOW *w_name = nullptr, *w_desc = nullptr, *w_opts = nullptr;

namespace {

constexpr int HIGHLIGHT_PAIR = 2;
constexpr int ENTER_CR = 13, ENTER_LF = 10;

struct Box {
    int height, width, top, left;
};

// The size and place a pane asks for, shrunk so that it is at least one
// cell and lies wholly on the screen. On a terminal of normal size nothing
// changes; on a tiny one panes overlap instead of vanishing.
Box fit(int height, int width, int top, int left)
{
    const int screenRows = std::max(rows, 1), screenCols = std::max(cols, 1);
    Box box;
    box.top = std::clamp(top, 0, screenRows - 1);
    box.left = std::clamp(left, 0, screenCols - 1);
    box.height = std::clamp(height, 1, screenRows - box.top);
    box.width = std::clamp(width, 1, screenCols - box.left);
    return box;
}

WINDOW *makePane(Box box)
{
    WINDOW *pane = newwin(box.height, box.width, box.top, box.left);
    if (pane)
        wmove(pane, 0, 0);
    return pane;
}

void placePane(WINDOW *pane, Box box)
{
    // Shrink to what both sizes share first, so the move never takes the
    // pane past an edge and what it shows survives the move.
    wresize(pane, std::min(getmaxy(pane), box.height), std::min(getmaxx(pane), box.width));
    mvwin(pane, box.top, box.left);
    wresize(pane, box.height, box.width);
}

void readScreenSize(int32_t &height, int32_t &width)
{
    height = screen ? getmaxy(screen) : -1;
    width = screen ? getmaxx(screen) : -1;
}

}  // namespace

int createPanes()
{
    const int q = rows / 4;
    w_name = makePane(fit(1, cols, 0, 0));
    w_desc = makePane(fit(rows - q, cols - 2, 1, 1));
    w_opts = makePane(fit(q, cols - 2, rows - q, 1));
    wrefresh(stdscr);
    return 0;
}

int reinitDisplay()
{
    int32_t height, width;
    readScreenSize(height, width);
    if (height == rows && width == cols)
        return 0;
    rows = height;
    cols = width;
    if (!w_name || !w_desc || !w_opts)
        return 0;
    const int q = rows / 4;
    placePane(w_name, fit(1, cols, 0, 0));
    placePane(w_desc, fit(rows - q, cols - 1, 1, 1));
    placePane(w_opts, fit(q, cols - 1, rows - q, 0));
    wrefresh(w_name);
    wrefresh(w_desc);
    wrefresh(w_opts);
    return 0;
}

// curses learns of a resize from its signal only inside a key read or a
// refresh; one that came while the panes were being drawn would wait for
// the next key. So the terminal's size is asked before every read.
bool resizedMeanwhile()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0)
        return false;
    if (!is_term_resized(size.ws_row, size.ws_col))
        return false;
    resize_term(size.ws_row, size.ws_col);
    return true;
}

int readKey()
{
    for (int interrupted = 0;;) {
        if (resizedMeanwhile())
            return KEY_RESIZE;
        errno = 0;
        const int key = wgetch(stdscr);
        if (key != ERR)
            return key;
        // In blocking mode a read fails only when a signal cut it short or
        // the terminal is gone (closed or hung up).
        if (errno == EINTR && ++interrupted < 100)
            continue;
        throw InputLost{};
    }
}

void repaintAfterResize()
{
    reinitDisplay();
    // A key read repaints the standard screen whenever a resize has marked
    // it changed, which would blank the panes. Paint all of it first, which
    // also clears what the old layout left where no pane lies now, then the
    // panes over it.
    touchwin(stdscr);
    wnoutrefresh(stdscr);
    for (WINDOW *pane : {w_name, w_desc, w_opts}) {
        if (pane) {
            touchwin(pane);
            wnoutrefresh(pane);
        }
    }
    doupdate();
}

int waitKey()
{
    for (;;) {
        const int key = readKey();
        if (key != KEY_RESIZE)
            return key;
        repaintAfterResize();
    }
}

void continuePrompt()
{
    werase(w_opts);
    wmove(w_opts, 0, 0);
    wprintw(w_opts, "%s", CONTINUE_PROMPT);
    wrefresh(w_opts);
    waitKey();
}

void drawName(const char *text)
{
    reinitDisplay();
    werase(w_name);
    wmove(w_name, 0, 0);
    waddstr(w_name, text);
    wrefresh(w_name);
}

void drawDesc(const char *text)
{
    reinitDisplay();
    werase(w_desc);
    wmove(w_desc, 0, 0);
    waddstr(w_desc, text);
    wrefresh(w_desc);
}

namespace {

// Every label from a line of its own, wrapping where it is wider than the
// pane.
void drawAllLabels(WordList *labels, int32_t selection)
{
    int32_t n = 0;
    while (Word *label = readWordList(labels)) {
        n++;
        if (n == selection)
            wattron(w_opts, COLOR_PAIR(HIGHLIGHT_PAIR));
        waddstr(w_opts, label->text);
        waddch(w_opts, '\n');
        if (n == selection)
            wattroff(w_opts, COLOR_PAIR(HIGHLIGHT_PAIR));
        winsdelln(w_opts, 1);
    }
}

// Whether drawAllLabels shows every label: the rows they take, wrapped at
// the pane's width, must leave the bottom row free, because the blank line
// inserted after the last label pushes whatever is on the bottom row out.
// The labels are drawn into a scratch pad of the pane's size, so their cells
// are counted as curses shows them (a character one cell, or two when it is
// wide; a control byte two, as ^X); curses refuses the first character or
// newline that would go past the bottom row.
bool labelsFit(const WordList *labels)
{
    WINDOW *pad = newpad(getmaxy(w_opts), getmaxx(w_opts));
    if (!pad)
        return false;
    bool fits = true;
    for (int32_t i = 0; fits && i < labels->count; i++)
        fits = waddstr(pad, labels->items[i]->text) != ERR && waddch(pad, '\n') != ERR;
    delwin(pad);
    return fits;
}

// Labels that do not fit: show the stretch that holds the selection, one
// label a row cut to fit, with "^" and "v" in the last column where more
// labels lie above or below.
void drawLabelWindow(WordList *labels, int32_t selection, int32_t &first)
{
    const int height = getmaxy(w_opts), width = getmaxx(w_opts);
    const int32_t count = labels->count;
    first = std::clamp(first, selection - height, selection - 1);
    first = std::clamp(first, 0, std::max(count - height, 0));
    const int textWidth = width > 1 ? width - 1 : 1;
    for (int row = 0; row < height && first + row < count; row++) {
        WINDOW *line = derwin(w_opts, 1, textWidth, row, 0);
        if (!line)
            continue;
        if (first + row + 1 == selection)
            wattron(line, COLOR_PAIR(HIGHLIGHT_PAIR));
        waddstr(line, labels->items[first + row]->text);
        delwin(line);
    }
    if (width > 1) {
        if (first > 0)
            mvwaddch(w_opts, 0, width - 1, '^');
        if (first + height < count)
            mvwaddch(w_opts, height - 1, width - 1, 'v');
    }
    wmove(w_opts, height - 1, 0);
}

}  // namespace

int runMenu(WordList *labels)
{
    reinitDisplay();
    int32_t selection = 1;
    int32_t first = 0;
    for (;;) {
        werase(w_opts);
        wmove(w_opts, 0, 0);
        if (labelsFit(labels))
            drawAllLabels(labels, selection);
        else
            drawLabelWindow(labels, selection, first);
        wrefresh(w_opts);
        const int key = readKey();
        if (key == ENTER_CR || key == ENTER_LF)
            break;
        if (key == KEY_RESIZE) {
            repaintAfterResize();
        } else if (key == KEY_DOWN) {
            if (++selection > labels->count)
                selection = labels->count;
        } else if (key == KEY_UP) {
            if (--selection < 1)
                selection = 1;
        }
    }
    wprintw(w_opts, "%d", selection);
    winsdelln(w_opts, 1);
    return selection - 1;
}
