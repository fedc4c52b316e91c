// The game run: the title screen, the player's name and greeting, and the
// map loop that loads each map's script, runs it and shows the endings.
#include "init.hpp"

#include "Word.hpp"
#include "interp.hpp"
#include "panes.hpp"
#include "string.hpp"

#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <memory>

int32_t is_running = 1;
int32_t game_mode = 0;
int32_t init_mode = 0;

namespace {

constexpr int ENTER = 13;
constexpr int NAME_COLUMN = 17;  // one blank after the 16-character prompt

struct FreeText {
    void operator()(char *text) const { free(text); }
};
using TextPtr = std::unique_ptr<char, FreeText>;

void drawAt(int y, int x, const char *text)
{
    if (wmove(stdscr, y, x) != ERR)
        wprintw(stdscr, "%s", text);
}

void titleScreen()
{
    const int y = rows / 2, x = cols / 2;
    wborder(stdscr, '|', '|', '_', '_', ' ', ' ', '|', '|');
    TextPtr title(setStringF(nullptr, "%s %s", "ZOK", "0.1"));
    drawAt(y - 5, x - static_cast<int>(strlen(title.get()) / 2), title.get());
    drawAt(y - 4, x - 11, "\"they fragile as eggs\"");
    init_mode = 1;
    drawAt(y - 2, x - 15, "cobbled together by orvo_pelin");
    drawAt(y - 1, x - 20, "game testing and implementation by tulwin");
    const char *prompt = "press any key to continue :)";
    drawAt(y + 1, x - static_cast<int>(strlen(prompt) / 2), prompt);
    wrefresh(stdscr);
    waitKey();
    werase(stdscr);
}

// How many bytes the last character of the name takes: in a UTF-8 locale a
// multi-byte character is removed whole when its lead byte and exactly the
// continuation bytes that lead byte calls for end the name; anything else
// (such as the low byte of a function key, 0x89 for Shift+Left) is one byte.
uint32_t lastCharacterBytes(const Word *name)
{
    if (strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        return 1;
    const auto *text = reinterpret_cast<const unsigned char *>(name->text);
    uint32_t continuations = 0;
    while (continuations < 3 && continuations < name->length &&
           (text[name->length - 1 - continuations] & 0xC0) == 0x80)
        continuations++;
    if (continuations == 0 || continuations == name->length)
        return 1;
    const unsigned char lead = text[name->length - 1 - continuations];
    const uint32_t wanted = lead >= 0xC2 && lead <= 0xDF   ? 1
                            : lead >= 0xE0 && lead <= 0xEF ? 2
                            : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                           : 0;
    return wanted == continuations ? continuations + 1 : 1;
}

void removeLastCharacter(Word *name)
{
    if (name->length == 0)
        return;
    const uint32_t bytes = lastCharacterBytes(name);
    name->length -= bytes;
    memset(name->text + name->length, 0, bytes);
}

void nameEntry()
{
    wprintw(w_opts, "%s", "Enter your name:");
    wrefresh(w_opts);
    WordPtr name(newWord(16));
    for (;;) {
        const int key = waitKey();
        if (key == ENTER)
            break;
        if (key == KEY_BACKSPACE)
            removeLastCharacter(name.get());
        else
            addchar(name.get(), static_cast<char>(key & 0xFF));
        mvwaddstr(w_opts, 0, NAME_COLUMN, name->text);
        wrefresh(w_opts);
    }
    werase(w_desc);
    wmove(w_desc, 0, 0);
    TextPtr greeting(setStringF(nullptr, "Welcome, %s!\n", name->text));
    waddstr(w_desc, greeting.get());
    wrefresh(w_desc);
    waitKey();
}

// Texts that carry a name from the player or a script are composed first and
// handed to curses as text: curses formats into a buffer of about a
// screenful, and a longer text would come out as "(null)".
void showLoadFailure(const char *path)
{
    TextPtr message(setStringF(nullptr, "Could not load %s, press a key to quit :S\n", path));
    waddstr(w_desc, message.get());
}

void showEnding(const char *message)
{
    continuePrompt();
    werase(w_desc);
    wprintw(w_desc, "%s", message);
    wrefresh(w_desc);
    waitKey();
    is_running = 0;
}

void mapLoop()
{
    go_map = setStringF(go_map, "%s", "start");
    while (is_running) {
        TextPtr path(mapPath(go_map));
        char *block = nullptr;
        const uint32_t size = readMap(&block, path.get());
        TextPtr text(block);
        if (size == 0) {
            werase(w_desc);
            showLoadFailure(path.get());
            wrefresh(w_desc);
            path.reset();
            waitKey();
            is_running = 0;
            return;
        }
        path.reset();
        const int result = parse_r(text.get(), 0, size);
        text.reset();

        werase(w_desc);
        wmove(w_desc, 0, 0);
        switch (result) {
        case PARSE_EXIT:
            is_running = 1;
            break;
        case PARSE_GO:
            continuePrompt();
            break;
        case PARSE_DIE:
            showEnding(DEATH_MESSAGE);
            break;
        case PARSE_WIN:
            showEnding(VICTORY_MESSAGE);
            break;
        default:  // the end of the script, or .break: run the map again
            break;
        }
    }
}

}  // namespace

int runInit()
{
    if (init_mode) {
        game_mode = 4;
        return 0;
    }
    titleScreen();
    createPanes();
    nameEntry();
    mapLoop();
    return 0;
}
