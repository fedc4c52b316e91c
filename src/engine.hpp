// The interpreter's globals, owned in one place: the variable tables
// (VarTable.hpp), the current map (go_map), the description-wait counter,
// the key-wait count, the front end and the watcher (game.hpp, interp.hpp).
// Every program that runs the interpreter holds one Engine while it does;
// nothing else creates or frees those globals.
#pragma once
#include <cstdint>

struct FrontEnd;
struct ParseWatch;

class Engine {
public:
    // Bucket counts of the two variable tables.
    static constexpr int32_t GLOBAL_BUCKETS = 128, SPECIAL_BUCKETS = 32;

    explicit Engine(FrontEnd *front = nullptr, ParseWatch *watch = nullptr);
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Back to a game not yet begun: empty variable tables, no current map,
    // both counters at zero. The front end and the watcher stay.
    void reset();
    void setFront(FrontEnd *front);
    void setWatch(ParseWatch *watch);

private:
    void release();
};

// Sets parse_watch for a scope and puts the one before back on the way out.
class WatchScope {
public:
    explicit WatchScope(ParseWatch *watch);
    ~WatchScope();
    WatchScope(const WatchScope &) = delete;
    WatchScope &operator=(const WatchScope &) = delete;

private:
    ParseWatch *before_;
};
