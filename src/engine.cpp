#include "engine.hpp"

#include "VarTable.hpp"
#include "game.hpp"
#include "interp.hpp"

#include <cassert>
#include <cstdlib>

namespace {
bool engineLive = false;  // the globals are one set: one owner at a time
}

Engine::Engine(FrontEnd *front, ParseWatch *watch)
{
    assert(!engineLive);
    engineLive = true;
    reset();
    front_end = front;
    parse_watch = watch;
}

Engine::~Engine()
{
    release();
    front_end = nullptr;
    parse_watch = nullptr;
    engineLive = false;
}

void Engine::release()
{
    for (VarTable *table : {global_variables, special_variables})
        if (table)
            freeVarTable(table);
    free(go_map);
    global_variables = special_variables = nullptr;
    go_map = nullptr;
}

void Engine::reset()
{
    release();
    global_variables = newVarTable(GLOBAL_BUCKETS);
    special_variables = newVarTable(SPECIAL_BUCKETS);
    desc_count = 0;
    key_waits = 0;
}

void Engine::setFront(FrontEnd *front)
{
    front_end = front;
}

void Engine::setWatch(ParseWatch *watch)
{
    parse_watch = watch;
}

WatchScope::WatchScope(ParseWatch *watch) : before_(parse_watch)
{
    parse_watch = watch;
}

WatchScope::~WatchScope()
{
    parse_watch = before_;
}
