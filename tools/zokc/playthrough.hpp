// What zokc explore and zokc random share: a game session held in memory
// (the core's globals, the maps, the watcher), the player that plays by
// itself through the core's map loop, noticing text the player never gets
// to read, and the diagnostics for what self-played runs notice.
#pragma once
#include "diagnostics.hpp"
#include "engine.hpp"
#include "game.hpp"
#include "maps.hpp"
#include "replay.hpp"
#include "state.hpp"
#include "watch.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace zokc {

// A game session for the life of a command: the maps, the watcher and the
// core's globals (held by the Engine, with the watcher set).
class Session {
public:
    explicit Session(std::string dir);
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    MapStore maps;
    Watcher watch;
    Engine engine;
    VarNames names;
    MapView view;          // serves the maps from memory and starts the watcher's pass
    MapLoader load;        // the same, a copy for each pass
    uint32_t current = NONE;  // the map the last pass ran over

    // The game as it starts: map "start", no variable set, the wait counter at 0.
    void restart();
    uint32_t startMap() { return maps.id("start"); }
};

// A text on screen that the player has not had a key wait to read yet.
struct Unread {
    Location at;        // map NONE: nothing unread
    uint64_t hash = 0;  // of the text, so that showing it again unchanged loses nothing
};

struct Screen {
    Unread name, desc;
};

// What a self-playing run notices.
struct Observer {
    virtual ~Observer() = default;
    // The text at replaced is replaced by the one at by before any key wait.
    virtual void unseen(bool name, Location replaced, Location by) = 0;
    // A description taller than the rows a player reads of it on the
    // standard terminal (READABLE_DESC_ROWS).
    virtual void tall(Location desc, int rows) = 0;
};

uint64_t textHash(std::string_view text);

// A front end with no one in front of it: answers come from choose(), every
// prompt is kept in events (a key wait, or the option chosen and its label), and
// what is shown and then replaced unread goes to the observer.
class AutoPlayer : public FrontEnd {
public:
    explicit AutoPlayer(Watcher &watch) : watch_(watch) {}

    Observer *observer = nullptr;
    Screen screen;
    std::vector<replay::Step> events;

    void showName(const char *text) override;
    void showDesc(const char *text) override;
    void waitContinue() override;
    int chooseOption(WordList *labels) override;
    void showMessage(const char *) override {}

protected:
    // The answer to a menu of count options; may throw to leave play.
    virtual int choose(int count) = 0;
    // A key wait is about to be answered; may throw to leave play.
    virtual void keyWait() {}

    Watcher &watch_;
};

// What self-played runs notice, kept by kind and place; at one place a
// report lists them in this order.
enum Noticed { UNSEEN_NAME, UNSEEN_DESC, TALL, MISSING, ENDING, IDLE, TOO_DEEP };

// The diagnostic for what was noticed at `at`. other is the text that replaced it
// (UNSEEN_*) or the map that cannot be loaded (MISSING); value is the rows
// of a tall description or the Ending reached; tail ends the message with
// how often it was noticed.
diag::Diagnostic diagnoseNoticed(Session &session, Noticed kind, Location at, Location other, int value,
                                 const std::string &tail);

}  // namespace zokc
