// The three panes (name line, description, options), their layout and
// re-layout on resize, drawing the name line, a description and the option
// menu, and the key reads every prompt goes through.
#include "panes.hpp"

#include "Word.hpp"
#include "game.hpp"
#include "rules.hpp"
#include "title.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

WINDOW *screen = nullptr;
int32_t rows = -1, cols = -1;
volatile sig_atomic_t terminal_resumed = 0;
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
Box fit(PaneBox pane)
{
    const int screenRows = std::max(rows, 1), screenCols = std::max(cols, 1);
    Box box;
    box.top = std::clamp(pane.y, 0, screenRows - 1);
    box.left = std::clamp(pane.x, 0, screenCols - 1);
    box.height = std::clamp(pane.rows, 1, screenRows - box.top);
    box.width = std::clamp(pane.cols, 1, screenCols - box.left);
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

// What each pane shows, kept as text (or, for the options pane and the title,
// as the drawing that shows it), so that a resize or a return from a stop
// draws it again in the new layout rather than leaving what curses cut off.
std::string nameShown, descShown;
std::function<void(WINDOW *)> optsShown;
std::function<void()> screenShown;  // before the panes exist: the title
// The panes in the order they were last drawn: where two overlap (the
// description's last row is the options pane's first), the later one shows.
std::array<WINDOW **, 3> drawOrder{&w_name, &w_desc, &w_opts};

void drawnLast(WINDOW **pane)
{
    std::stable_partition(drawOrder.begin(), drawOrder.end(), [pane](WINDOW **p) { return p != pane; });
}

void drawText(WINDOW *pane, const std::string &text)
{
    werase(pane);
    wmove(pane, 0, 0);
    waddstr(pane, text.c_str());
}

void drawOpts()
{
    werase(w_opts);
    wmove(w_opts, 0, 0);
    if (optsShown)
        optsShown(w_opts);
}

// Everything on screen drawn again from what it shows: the whole standard
// screen first, which also clears what an old layout left where no pane lies
// now, then the panes over it in the order they were drawn.
void repaint()
{
    werase(stdscr);
    if (!w_name || !w_desc || !w_opts) {
        if (screenShown)
            screenShown();
        wrefresh(stdscr);
        return;
    }
    wnoutrefresh(stdscr);
    drawText(w_name, nameShown);
    drawText(w_desc, descShown);
    drawOpts();
    for (WINDOW **pane : drawOrder) {
        touchwin(*pane);
        wnoutrefresh(*pane);
    }
    doupdate();
}

// Takes the terminal's current size; lays the panes out anew when it changed.
bool relayout()
{
    int32_t height, width;
    readScreenSize(height, width);
    if (height == rows && width == cols)
        return false;
    rows = height;
    cols = width;
    if (!w_name || !w_desc || !w_opts)
        return true;
    const PaneLayout layout = resizedLayout(rows, cols);
    placePane(w_name, fit(layout.name));
    placePane(w_desc, fit(layout.desc));
    placePane(w_opts, fit(layout.opts));
    return true;
}

}  // namespace

int createPanes()
{
    const PaneLayout layout = firstLayout(rows, cols);
    screenShown = nullptr;
    w_name = makePane(fit(layout.name));
    w_desc = makePane(fit(layout.desc));
    w_opts = makePane(fit(layout.opts));
    wrefresh(stdscr);
    return 0;
}

int reinitDisplay()
{
    if (relayout())
        repaint();
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
    // A key read a signal cut short leaves curses a failed read to hand
    // back once more before it reads again.
    static bool cutShort = false;
    for (int interrupted = 0;;) {
        if (terminal_resumed) {
            terminal_resumed = 0;
            reset_prog_mode();
            keypad(stdscr, TRUE);
            clearok(curscr, TRUE);
            resizedMeanwhile();
            return KEY_RESIZE;
        }
        if (resizedMeanwhile())
            return KEY_RESIZE;
        errno = 0;
        const int key = wgetch(stdscr);
        if (key != ERR) {
            cutShort = false;
            return key;
        }
        // In blocking mode a read fails only when a signal cut it short or
        // the terminal is gone (closed or hung up).
        if ((errno == EINTR || (errno == 0 && cutShort)) && ++interrupted < 100) {
            cutShort = errno == EINTR;
            continue;
        }
        throw InputLost{};
    }
}

void repaintAfterResize()
{
    relayout();
    repaint();
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

void showScreen(std::function<void()> draw)
{
    screenShown = std::move(draw);
    repaint();
}

void showOptions(std::function<void(WINDOW *)> draw)
{
    optsShown = std::move(draw);
    drawnLast(&w_opts);
    drawOpts();
    wrefresh(w_opts);
}

void continuePrompt()
{
    showOptions([](WINDOW *pane) { waddstr(pane, CONTINUE_PROMPT); });
    waitKey();
}

void drawName(const char *text)
{
    reinitDisplay();
    nameShown = visibleText(text);
    drawnLast(&w_name);
    drawText(w_name, nameShown);
    wrefresh(w_name);
}

void drawDesc(const char *text)
{
    reinitDisplay();
    descShown = visibleText(text);
    drawnLast(&w_desc);
    drawText(w_desc, descShown);
    wrefresh(w_desc);
}

namespace {

// The menu on show: its labels as the pane shows them, the highlighted one
// (from 1) and the first one in view when they do not all fit.
struct Menu {
    std::vector<std::string> labels;
    int32_t selection = 1, first = 0;
} menu;

// Every label from a line of its own, wrapping where it is wider than the
// pane.
void drawAllLabels(WINDOW *pane)
{
    int32_t n = 0;
    for (const std::string &label : menu.labels) {
        n++;
        if (n == menu.selection)
            wattron(pane, COLOR_PAIR(HIGHLIGHT_PAIR));
        waddstr(pane, label.c_str());
        waddch(pane, '\n');
        if (n == menu.selection)
            wattroff(pane, COLOR_PAIR(HIGHLIGHT_PAIR));
        winsdelln(pane, 1);
    }
}

// Whether drawAllLabels shows every label: the rows they take, wrapped at
// the pane's width, must leave the bottom row free, because the blank line
// inserted after the last label pushes whatever is on the bottom row out.
// The labels are drawn into a scratch pad of the pane's size, so their cells
// are counted as curses shows them (a character one cell, or two when it is
// wide); curses refuses the first character or newline that would go past
// the bottom row.
bool labelsFit(WINDOW *pane)
{
    WINDOW *pad = newpad(getmaxy(pane), getmaxx(pane));
    if (!pad)
        return false;
    bool fits = true;
    for (size_t i = 0; fits && i < menu.labels.size(); i++)
        fits = waddstr(pad, menu.labels[i].c_str()) != ERR && waddch(pad, '\n') != ERR;
    delwin(pad);
    return fits;
}

// Labels that do not fit: show the stretch that holds the selection, one
// label a row cut to fit, with "^" and "v" in the last column where more
// labels lie above or below.
void drawLabelWindow(WINDOW *pane)
{
    const int height = getmaxy(pane), width = getmaxx(pane);
    const auto count = static_cast<int32_t>(menu.labels.size());
    int32_t &first = menu.first;
    first = std::clamp(first, menu.selection - height, menu.selection - 1);
    first = std::clamp(first, 0, std::max(count - height, 0));
    const int textWidth = width > 1 ? width - 1 : 1;
    for (int row = 0; row < height && first + row < count; row++) {
        WINDOW *line = derwin(pane, 1, textWidth, row, 0);
        if (!line)
            continue;
        if (first + row + 1 == menu.selection)
            wattron(line, COLOR_PAIR(HIGHLIGHT_PAIR));
        waddstr(line, menu.labels[first + row].c_str());
        delwin(line);
    }
    if (width > 1) {
        if (first > 0)
            mvwaddch(pane, 0, width - 1, '^');
        if (first + height < count)
            mvwaddch(pane, height - 1, width - 1, 'v');
    }
    wmove(pane, height - 1, 0);
}

void drawMenu(WINDOW *pane)
{
    if (labelsFit(pane))
        drawAllLabels(pane);
    else
        drawLabelWindow(pane);
}

}  // namespace

int runMenu(WordList *labels)
{
    reinitDisplay();
    menu = Menu{};
    while (const Word *label = readWordList(labels))
        menu.labels.push_back(visibleText(label->text));
    const auto count = static_cast<int32_t>(menu.labels.size());
    int32_t &selection = menu.selection;
    for (;;) {
        showOptions(drawMenu);
        const int key = readKey();
        if (key == ENTER_CR || key == ENTER_LF)
            break;
        if (key == KEY_RESIZE) {
            repaintAfterResize();
        } else if (key == KEY_DOWN) {
            if (++selection > count)
                selection = count;
        } else if (key == KEY_UP) {
            if (--selection < 1)
                selection = 1;
        }
    }
    const int32_t chosen = selection;
    wprintw(w_opts, "%d", chosen);
    winsdelln(w_opts, 1);
    return chosen - 1;
}
