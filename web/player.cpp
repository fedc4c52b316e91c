// zok in a web page: the core's map loop with the page as its front end.
// Built with Emscripten and Asyncify, so the calls that wait for the player
// suspend the program until the page has the key, the choice or the name;
// page.html holds the page's side of each call below.
#include "VarTable.hpp"
#include "Word.hpp"
#include "engine.hpp"
#include "game.hpp"
#include "interp.hpp"
#include "string.hpp"
#include "title.hpp"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The page's panes, as the calls below name them.
enum Pane { NAME_PANE, DESC_PANE, PROMPT_PANE };

}  // namespace

// Text crosses as bytes (script text need not be UTF-8); the page decodes it.
EM_JS(void, page_show, (int pane, const char *text, size_t length), {
    zokPage.show(pane, zokPage.bytes(text, length));
});
EM_JS(void, page_title, (const char *name, const char *tagline, const char *credit1, const char *credit2,
                         const char *prompt),
      { zokPage.title([ name, tagline, credit1, credit2, prompt ].map(text => UTF8ToString(text))); });
EM_ASYNC_JS(void, page_wait_key, (), { await zokPage.waitKey(); });
EM_JS(void, page_add_label, (const char *text, size_t length), { zokPage.addLabel(zokPage.bytes(text, length)); });
EM_ASYNC_JS(int, page_choose, (), { return await zokPage.choose(); });
// These leave bytes for page_take: the name typed, a map's script.
EM_ASYNC_JS(size_t, page_read_name, (const char *prompt), { return await zokPage.readName(UTF8ToString(prompt)); });
EM_JS(int, page_find_map, (const char *path), { return zokPage.findMap(path); });
EM_JS(void, page_take, (char *to), { zokPage.take(to); });
EM_ASYNC_JS(void, page_play_again, (), { await zokPage.playAgain(); });

namespace {

struct FreeText {
    void operator()(char *text) const { free(text); }
};
using TextPtr = std::unique_ptr<char, FreeText>;

void show(Pane pane, const char *text)
{
    page_show(pane, text, strlen(text));
}

// The game's scripts come from the page; the path is "game/<map>.zok".
uint32_t loadMap(char **text, const char *path)
{
    const int size = page_find_map(path);
    if (size < 0)
        return 0;
    auto *block = static_cast<char *>(realloc(*text, static_cast<size_t>(size) + 1));
    if (!block)
        return 0;
    page_take(block);
    block[size] = '\0';
    *text = block;
    return static_cast<uint32_t>(size) + 1;
}

struct Page : FrontEnd {
    void showName(const char *text) override { show(NAME_PANE, text); }
    void showDesc(const char *text) override { show(DESC_PANE, text); }
    void waitContinue() override
    {
        show(PROMPT_PANE, CONTINUE_PROMPT);
        page_wait_key();
    }
    int chooseOption(WordList *labels) override
    {
        while (const Word *label = readWordList(labels))  // the closing null rewinds the list
            page_add_label(label->text, label->length);
        return page_choose();
    }
    void showMessage(const char *text) override
    {
        show(DESC_PANE, text);
        page_wait_key();
    }
};

void titleScreen()
{
    const TextPtr title(setStringF(nullptr, "%s %s", TITLE_NAME, TITLE_VERSION));
    page_title(title.get(), TITLE_TAGLINE, TITLE_CREDITS[0], TITLE_CREDITS[1], TITLE_PROMPT);
    page_wait_key();
}

void nameEntry()
{
    const size_t length = page_read_name(NAME_PROMPT);
    TextPtr name(static_cast<char *>(malloc(length + 1)));
    if (!name)
        return;
    page_take(name.get());
    name.get()[length] = '\0';
    const TextPtr welcome(greeting(name.get()));
    show(DESC_PANE, welcome.get());
    page_wait_key();
}

}  // namespace

int main()
{
    for (;;) {
        const Engine engine;  // each game starts afresh
        titleScreen();
        nameEntry();
        Page page;
        playGame(page, "game", loadMap);
        page_play_again();
    }
}
