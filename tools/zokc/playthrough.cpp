// The session's set-up and the self-playing front end.
#include "playthrough.hpp"

#include "VarTable.hpp"
#include "Word.hpp"
#include "interp.hpp"
#include "string.hpp"

#include <cstdlib>

namespace zokc {

Session::Session(std::string dir) : maps(std::move(dir)), watch(maps)
{
    global_variables = newVarTable(128);
    special_variables = newVarTable(32);
    parse_watch = &watch;
    load = [this, read = maps.loader(&current)](char **text, const char *path) {
        const uint32_t size = read(text, path);
        watch.startPass(current);
        return size;
    };
}

Session::~Session()
{
    parse_watch = nullptr;
    freeVarTable(global_variables);
    freeVarTable(special_variables);
    free(go_map);
    global_variables = special_variables = nullptr;
    go_map = nullptr;
    front_end = nullptr;
}

void Session::restart()
{
    writeVariables(names, {});
    desc_count = 0;
    go_map = setStringF(go_map, "%s", "start");
}

uint64_t textHash(std::string_view text)
{
    uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
    for (const char ch : text) {
        hash ^= static_cast<unsigned char>(ch);
        hash *= 0x100000001B3u;
    }
    return hash;
}

void AutoPlayer::showName(const char *text)
{
    const Unread shown{watch_.name(), textHash(text)};
    if (screen.name.at.map != NONE && screen.name.hash != shown.hash && observer)
        observer->unseen(true, screen.name.at, shown.at);
    screen.name = shown;
}

void AutoPlayer::showDesc(const char *text)
{
    const Unread shown{watch_.desc(), textHash(text)};
    if (screen.desc.at.map != NONE && screen.desc.hash != shown.hash && observer)
        observer->unseen(false, screen.desc.at, shown.at);
    screen.desc = shown;
    if (observer) {
        const int rows = textRows(text, DESC_COLS);
        if (rows > DESC_ROWS)
            observer->tall(shown.at, rows);
    }
}

void AutoPlayer::waitContinue()
{
    keyWait();
    screen = {};
    events.push_back(-1);
}

int AutoPlayer::chooseOption(WordList *labels)
{
    screen = {};
    const int choice = choose(labels->count);
    events.push_back(choice);
    return choice;
}

}  // namespace zokc
