// The rules of play that the engine and the author's tools both go by, each
// written once: when a description waits for a key, when a map counts as
// idle, the terminal authors write for and how the panes lie on it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

// The description-wait counter (desc_count): descriptions count it up, name
// lines down, and a description that finds it above zero waits for a key
// first, after which the count starts again from that description.
constexpr bool descriptionWaits(int32_t count)
{
    return count > 0;
}
constexpr int32_t countAfterDescription(int32_t count)
{
    return descriptionWaits(count) ? 1 : count + 1;
}
constexpr int32_t countAfterName(int32_t count)
{
    return count - 1;
}
// The counter decides only whether descriptions wait, never where play
// goes. Name lines lower it without a floor, so zokc's survey takes counts
// below this one as one: at this count five descriptions in a row pass
// without a wait, and a count held here can only make a wait come sooner
// than the true count would. zokc explore starts from this floor and
// lowers it until it provably changes nothing it reports.
constexpr int32_t DESC_COUNT_FLOOR = -4;

// Passes in a row with no key wait after which a map is taken to run again
// and again on its own.
constexpr uint32_t MAX_IDLE_PASSES = 1000;
// A count as messages write it ("1,000").
inline std::string countText(uint64_t count)
{
    const std::string digits = std::to_string(count);
    std::string text;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}
inline std::string idleLimitText()
{
    return countText(MAX_IDLE_PASSES);
}

// How deep option bodies may nest while they run: each chosen body is a
// nested interpreter call, about 450 bytes of stack in a release build and
// about 1.2 KB under the sanitizers (measured by playing a thousand levels
// under a shrinking stack limit), so a thousand levels take under 0.5 MiB
// (1.2 MiB) of the 8 MiB a program gets, and fit the web player's 1 MiB
// Asyncify stack. A body that would go deeper ends the game with a message
// naming the map.
constexpr uint32_t MAX_BODY_DEPTH = 1000;

// The terminal size authors write for.
constexpr int STANDARD_ROWS = 24, STANDARD_COLS = 80;

// Where the three panes lie on a terminal of rows x cols: the name line at
// the top, the description below it and the options pane over the last
// quarter of the rows. The description pane reaches one row into the
// options pane: its last row is the options pane's first.
struct PaneBox {
    int rows, cols, y, x;
};
struct PaneLayout {
    PaneBox name, desc, opts;
};

// The layout the game starts with: the description and options panes leave
// a margin column at each side (cols - 2 wide, from column 1).
constexpr PaneLayout firstLayout(int rows, int cols)
{
    const int q = rows / 4;
    return {{1, cols, 0, 0}, {rows - q, cols - 2, 1, 1}, {q, cols - 2, rows - q, 1}};
}

// The layout after the terminal is resized. It differs from the first: a
// resize keeps the description pane at its column and the options pane at
// column 0 where the pane moves to, and only widens them to the new width
// (cols - 1), so the text already drawn stays where the player saw it.
constexpr PaneLayout resizedLayout(int rows, int cols)
{
    const int q = rows / 4;
    return {{1, cols, 0, 0}, {rows - q, cols - 1, 1, 1}, {q, cols - 1, rows - q, 0}};
}

// The rows of a description the player can read at the moment they read
// it: at a <continue> prompt or a menu the options pane is drawn, so the
// description pane's rows under it are hidden.
constexpr int readableDescRows(const PaneLayout &layout)
{
    const int below = std::min(layout.desc.y + layout.desc.rows, layout.opts.y);
    return std::max(below - layout.desc.y, 0);
}

constexpr PaneLayout STANDARD_LAYOUT = firstLayout(STANDARD_ROWS, STANDARD_COLS);
constexpr int READABLE_DESC_ROWS = readableDescRows(STANDARD_LAYOUT);
static_assert(READABLE_DESC_ROWS == 17);
