// The game run every front end shares: the map loop, the description-wait
// counter, the idle rule, the endings and the load failure. A front end only
// shows things and waits for the player; the interpreter's calls renderName,
// renderDesc and handleOptions (display.hpp) come here and go on to it.
#pragma once
#include "rules.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct WordList;

// What a front end does for the game. Every call that waits for the player
// may throw to end the game (the terminal is gone, the input ended); the
// interpreter releases its buffers on the way out.
struct FrontEnd {
    virtual ~FrontEnd() = default;
    virtual void showName(const char *text) = 0;
    virtual void showDesc(const char *text) = 0;
    // The continue prompt, and a key to go on.
    virtual void waitContinue() = 0;
    // The labels as a menu; returns the 0-based index of the choice.
    virtual int chooseOption(WordList *labels) = 0;
    // The last thing play shows: an ending, or why play cannot go on.
    virtual void showMessage(const char *text) = 0;
    // A pass over a map has ended (before its result is acted on).
    virtual void endPass() {}
};

// How a game ended.
// MapMissing: a map that cannot be loaded, or that cannot be read as written
// (a text in it too large to hold); TooDeep: option bodies nested deeper
// than MAX_BODY_DEPTH.
enum class Ending { Died, Won, MapMissing, Idle, TooDeep };

// Reads the script at path into *text (null or a heap block the caller then
// owns) and returns its size including the terminating zero, or 0 when there
// is no script to play there.
using MapLoader = std::function<uint32_t(char **text, const char *path)>;

// Plays from the map "start" of dir until an ending, a map that cannot be
// loaded, or maxIdlePasses passes in a row without a key wait (0: no limit).
Ending playGame(FrontEnd &front, const char *dir, const MapLoader &load,
                uint32_t maxIdlePasses = MAX_IDLE_PASSES);

// One pass over the current map (go_map): loads it, runs it and acts on the
// result: a continue prompt after ".go", the ending after ".die" and ".win",
// the load message for a map that cannot be loaded. Returns false when the
// game is over, with *ending telling how.
bool playPass(FrontEnd &front, const char *dir, const MapLoader &load, Ending *ending);
// A map's text as a loader that keeps it in memory gives it, the
// terminating zero included; empty when there is no script to play there.
using MapView = std::function<std::string_view(const char *path)>;
// The same pass over a map a MapView gives, with its text run by
// run(text, size) instead of parse_r from its start: the author's tools play
// their passes this way, and play on from a menu.
using PassRunner = std::function<int(const char *text, uint32_t size)>;
bool playPass(FrontEnd &front, const char *dir, const MapView &view, Ending *ending, const PassRunner &run);

// The front end the interpreter's output goes to.
extern FrontEnd *front_end;

// The description-wait counter (see descriptionWaits in rules.hpp).
extern int32_t desc_count;

// How many times the player has been asked for a key or an answer.
extern uint64_t key_waits;

// The cells a text takes on screen: a UTF-8 character one, a control byte
// two (it shows in caret notation, ESC as ^[), a tab up to the next
// multiple of 8.
int textCells(std::string_view text);
// Script text as every front end shows it: tabs and newlines as they are,
// every other control byte in caret notation (ESC as ^[, CR as ^M, DEL as
// ^?), so no byte of a script moves the cursor or drives the terminal.
std::string visibleText(std::string_view text);
// The rows a text takes in a pane width cells wide when it wraps; a line
// end moves to the next row, and text after the last one takes a row more.
int textRows(std::string_view text, int width);

// The texts every front end shows (the greeting, why play stopped), as new
// heap strings, and the two endings.
char *greeting(const char *name);
char *loadFailure(const char *path);
char *idleFailure(const char *path);
char *depthFailure(const char *path);

constexpr const char *DEATH_MESSAGE =
    "It seems you've kicked the bucket in some manner or another - good luck next time!";
constexpr const char *VICTORY_MESSAGE = "Congratulations, victory is yours!";
