// The game run: the map loop and the rules every front end plays by (when a
// description waits, when a map is idle, how the game ends). Front ends only
// show what this decides and bring back the player's keys and answers.
#include "game.hpp"

#include "Word.hpp"
#include "display.hpp"
#include "interp.hpp"
#include "rules.hpp"
#include "string.hpp"

#include <cstdlib>
#include <memory>
#include <string>

FrontEnd *front_end = nullptr;
int32_t desc_count = 0;
uint64_t key_waits = 0;

namespace {

struct FreeText {
    void operator()(char *text) const { free(text); }
};
using TextPtr = std::unique_ptr<char, FreeText>;

void waitContinue(FrontEnd &front)
{
    key_waits++;
    front.waitContinue();
}

}  // namespace

namespace {

// Cells from column to the end of one line of text.
int lineCells(std::string_view line, int column)
{
    for (const char ch : line) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '\t')
            column += 8 - column % 8;
        else if (byte < 0x20 || byte == 0x7F)
            column += 2;
        else if ((byte & 0xC0) != 0x80)  // not a continuation byte
            column += 1;
    }
    return column;
}

}  // namespace

int textCells(std::string_view text)
{
    return lineCells(text, 0);
}

std::string visibleText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == 0x7F) {
            shown += "^?";
        } else if (byte < 0x20 && ch != '\n' && ch != '\t') {
            shown += '^';
            shown += static_cast<char>(byte + 0x40);
        } else {
            shown += ch;
        }
    }
    return shown;
}

int textRows(std::string_view text, int width)
{
    if (width < 1)
        width = 1;
    int rows = 0;
    for (;;) {
        const size_t end = text.find('\n');
        const int cells = lineCells(text.substr(0, end), 0);
        if (end == std::string_view::npos)
            return rows + (cells > 0 ? (cells + width - 1) / width : 0);
        // A line that fills the width exactly leaves the cursor on the next
        // row, and its line end moves it one further.
        rows += cells / width + 1;
        text.remove_prefix(end + 1);
    }
}

char *greeting(const char *name)
{
    return setStringF(nullptr, "Welcome, %s!\n", name);
}

char *loadFailure(const char *path)
{
    return setStringF(nullptr, "Could not load %s, press a key to quit :S\n", path);
}

char *idleFailure(const char *path)
{
    return setStringF(nullptr, "%s runs again and again without waiting for a key, press a key to quit :S\n",
                      path);
}

char *depthFailure(const char *path)
{
    const std::string limit = countText(MAX_BODY_DEPTH);
    return setStringF(nullptr, "%s nests option bodies more than %s deep, press a key to quit :S\n", path,
                      limit.c_str());
}

int renderName(const char *text)
{
    front_end->showName(text);
    desc_count = countAfterName(desc_count);
    return 0;
}

// A description waits for a key exactly when more descriptions than name
// lines have been shown since the last wait (or the start of the game).
int renderDesc(const char *text)
{
    if (descriptionWaits(desc_count))
        waitContinue(*front_end);
    front_end->showDesc(text);
    desc_count = countAfterDescription(desc_count);
    return 0;
}

int handleOptions(WordList *labels)
{
    key_waits++;
    const int choice = front_end->chooseOption(labels);
    labels->cursor = 0;
    return choice;
}

bool playPass(FrontEnd &front, const char *dir, const MapLoader &load, Ending *ending)
{
    TextPtr text;  // freed once the script has run, before the pass waits for a key
    const MapView read = [&](const char *path) {
        char *block = nullptr;
        const uint32_t size = load(&block, path);
        text.reset(block);
        return size == 0 ? std::string_view() : std::string_view(block, size);
    };
    const PassRunner run = [&](const char *script, uint32_t size) {
        const int result = parse_r(script, 0, size);
        text.reset();
        return result;
    };
    return playPass(front, dir, read, ending, run);
}

bool playPass(FrontEnd &front, const char *dir, const MapView &view, Ending *ending, const PassRunner &run)
{
    front_end = &front;
    const TextPtr path(mapPath(dir, go_map));
    const std::string_view text = view(path.get());
    if (text.empty()) {
        const TextPtr message(loadFailure(path.get()));
        front.showMessage(message.get());
        *ending = Ending::MapMissing;
        return false;
    }
    int result;
    try {
        result = run(text.data(), static_cast<uint32_t>(text.size()));
    } catch (const PlayStopped &stop) {
        const TextPtr message(stop.why == PlayStopped::TooDeep ? depthFailure(path.get()) : loadFailure(path.get()));
        front.showMessage(message.get());
        *ending = stop.why == PlayStopped::TooDeep ? Ending::TooDeep : Ending::MapMissing;
        return false;
    }
    front.endPass();
    switch (result) {
    case PARSE_GO:
        waitContinue(front);
        return true;
    case PARSE_DIE:
    case PARSE_WIN:
        waitContinue(front);
        front.showMessage(result == PARSE_DIE ? DEATH_MESSAGE : VICTORY_MESSAGE);
        *ending = result == PARSE_DIE ? Ending::Died : Ending::Won;
        return false;
    default:  // .exit, .break or the end of the script: the map runs again
        return true;
    }
}

Ending playGame(FrontEnd &front, const char *dir, const MapLoader &load, uint32_t maxIdlePasses)
{
    go_map = setStringF(go_map, "%s", "start");
    uint32_t idlePasses = 0;
    Ending ending;
    for (;;) {
        const uint64_t waitsBefore = key_waits;
        if (!playPass(front, dir, load, &ending))
            return ending;
        idlePasses = key_waits == waitsBefore ? idlePasses + 1 : 0;
        if (maxIdlePasses > 0 && idlePasses >= maxIdlePasses) {
            const TextPtr path(mapPath(dir, go_map));
            const TextPtr message(idleFailure(path.get()));
            front.showMessage(message.get());
            return Ending::Idle;
        }
    }
}
