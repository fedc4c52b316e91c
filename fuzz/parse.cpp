// Plays any bytes as a game through the core's map loop. The input is a line
// of answers, then the script of every map: "12\n.list\n.opt A\n...".
// Answer '1' picks the first option, '2' the second and so on (any byte,
// counted from '1' round the menu); they are used in turn, over and over, and
// play stops after 64 prompts. A map with an empty name (".go " alone) is
// missing; every other name loads the same script.
#include "Word.hpp"
#include "engine.hpp"
#include "game.hpp"
#include "interp.hpp"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

struct Enough {};  // the prompts are used up

struct Scripted : FrontEnd {
    std::string_view answers;
    unsigned prompts = 0, chosen = 0;

    void prompt()
    {
        if (++prompts > 64)
            throw Enough{};
    }
    // Every text must be a whole zero-terminated string: reading it through
    // trips the sanitizers on a bad one.
    void showName(const char *text) override { (void)strlen(text); }
    void showDesc(const char *text) override { (void)strlen(text); }
    void showMessage(const char *text) override { (void)strlen(text); }
    void waitContinue() override { prompt(); }
    int chooseOption(WordList *labels) override
    {
        prompt();
        if (labels->count < 1)
            abort();  // the core offers no empty menu
        for (int32_t i = 0; i < labels->count; i++)
            (void)strlen(labels->items[i]->text);
        const unsigned char answer = answers.empty() ? '1' : answers[chosen++ % answers.size()];
        return static_cast<unsigned char>(answer - '1') % labels->count;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t newline = input.find('\n');
    const std::string_view script = newline == input.npos ? input : input.substr(newline + 1);
    Scripted front;
    front.answers = input.substr(0, newline == input.npos ? 0 : newline);
    // Each pass gets the script in a heap block of exactly its size and its
    // terminating zero, as the file reader hands it over.
    const MapLoader load = [script](char **text, const char *path) -> uint32_t {
        if (strcmp(path, "game/.zok") == 0)
            return 0;
        *text = static_cast<char *>(malloc(script.size() + 1));
        memcpy(*text, script.data(), script.size());
        (*text)[script.size()] = '\0';
        return static_cast<uint32_t>(script.size() + 1);
    };
    const Engine engine;
    try {
        playGame(front, "game", load, 3);
    } catch (const Enough &) {
    }
    return 0;
}
