// The game run in the terminal: the title screen, the player's name and
// greeting, then the map loop of the core with the panes as its front end.
#include "init.hpp"

#include "Word.hpp"
#include "game.hpp"
#include "interp.hpp"
#include "panes.hpp"
#include "string.hpp"
#include "title.hpp"

#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <memory>
#include <string>

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
    init_mode = 1;
    showScreen([] {
        const int y = rows / 2, x = cols / 2;
        wborder(stdscr, '|', '|', '_', '_', ' ', ' ', '|', '|');
        TextPtr title(setStringF(nullptr, "%s %s", TITLE_NAME, TITLE_VERSION));
        drawAt(y - 5, x - static_cast<int>(strlen(title.get()) / 2), title.get());
        drawAt(y - 4, x - 11, TITLE_TAGLINE);
        drawAt(y - 2, x - 15, TITLE_CREDITS[0]);
        drawAt(y - 1, x - 20, TITLE_CREDITS[1]);
        drawAt(y + 1, x - static_cast<int>(strlen(TITLE_PROMPT) / 2), TITLE_PROMPT);
    });
    waitKey();
    werase(stdscr);
}

// How many bytes the last character of the name takes: in a UTF-8 locale a
// multi-byte character is removed whole when its lead byte and exactly the
// continuation bytes that lead byte calls for end the name; anything else
// (a stray byte of a broken character) is one byte.
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

// Name entry takes characters: a function key or a control byte is not one.
bool isCharacter(int key)
{
    return key >= ' ' && key <= 0xFF && key != 0x7F;
}

void nameEntry()
{
    WordPtr name(newWord(16));
    for (;;) {
        showOptions([typed = std::string(name->text)](WINDOW *pane) {
            waddstr(pane, NAME_PROMPT);
            mvwaddstr(pane, 0, NAME_COLUMN, typed.c_str());
        });
        const int key = waitKey();
        if (key == ENTER)
            break;
        // The Backspace key, or the byte a terminal sends for it.
        if (key == KEY_BACKSPACE || key == '\b' || key == 0x7F)
            removeLastCharacter(name.get());
        else if (isCharacter(key))
            addchar(name.get(), static_cast<char>(key));
    }
    const TextPtr welcome(greeting(name->text));
    drawDesc(welcome.get());
    waitKey();
}

// The panes as the game's front end.
struct Panes : FrontEnd {
    void showName(const char *text) override { drawName(text); }
    void showDesc(const char *text) override { drawDesc(text); }
    void waitContinue() override { continuePrompt(); }
    int chooseOption(WordList *labels) override { return runMenu(labels); }
    void showMessage(const char *text) override
    {
        drawDesc(text);
        waitKey();
    }
    // A pass's end leaves its description on screen (and kept for a resize
    // at the prompt after it); the next description replaces it whole.
};

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
    Panes panes;
    playGame(panes, "game", readMap);
    is_running = 0;
    return 0;
}
