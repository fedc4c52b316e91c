// The session's set-up, the self-playing front end and the diagnostics for
// what it notices.
#include "playthrough.hpp"

#include "problems.hpp"

#include "VarTable.hpp"
#include "Word.hpp"
#include "interp.hpp"
#include "string.hpp"
#include "replay.hpp"

#include <cstdlib>

namespace zokc {

Session::Session(std::string dir) : maps(std::move(dir)), watch(maps), engine(nullptr, &watch)
{
    view = [this, read = maps.view(&current)](const char *path) {
        const std::string_view text = read(path);
        watch.startPass(current);
        return text;
    };
    load = MapStore::loader(view);
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
        const int rows = textRows(text, STANDARD_LAYOUT.desc.cols);
        if (rows > READABLE_DESC_ROWS)
            observer->tall(shown.at, rows);
    }
}

void AutoPlayer::waitContinue()
{
    keyWait();
    screen = {};
    events.push_back({-1, {}});
}

int AutoPlayer::chooseOption(WordList *labels)
{
    screen = {};
    const int choice = choose(labels->count);
    const Word *label = choice >= 0 && choice < labels->count ? labels->items[choice] : nullptr;
    events.push_back({choice, label ? replay::label({label->text, label->length}) : std::string()});
    return choice;
}

diag::Diagnostic diagnoseNoticed(Session &session, Noticed kind, Location at, Location other, int value,
                                 const std::string &tail)
{
    const auto met = [&](const char *name, const std::string &message) {
        return diagnose(session.maps, at, problems::severity(name), name, message + tail);
    };
    switch (kind) {
    case UNSEEN_NAME:
    case UNSEEN_DESC: {
        diag::Diagnostic d = met("unseen-text",
                                 kind == UNSEEN_NAME ? "this name line is replaced before the player can read it"
                                                     : "this description is replaced before the player can read it");
        d.notes.push_back({where(session.maps, other), "replaced by this one with no key wait between"});
        return d;
    }
    case TALL:
        return met("tall-description",
                   "this description takes " + std::to_string(value) +
                       " rows; on an " + std::to_string(STANDARD_COLS) + " x " + std::to_string(STANDARD_ROWS) +
                       " terminal the player reads " + std::to_string(READABLE_DESC_ROWS) + " at a time");
    case MISSING:
        return met("missing-map",
                   std::string(at.pos == 0 && at.map == session.startMap()
                                   ? "the game starts at a map that cannot be loaded: "
                                   : "this goes to a map that cannot be loaded: ") +
                       session.maps.map(other.map).path);
    case ENDING:
        return met("ending",
                   value == static_cast<int>(Ending::Won) ? "the game is won here" : "the game ends in death here");
    case TOO_DEEP:
        return met("too-deep", "option bodies nest more than " + countText(MAX_BODY_DEPTH) +
                                   " deep here, so zok ends the game");
    case IDLE:
        break;
    }
    return met("idle",
               "this map runs again and again without waiting for a key; zok ends the game after " +
                   idleLimitText() + " passes");
}

}  // namespace zokc
