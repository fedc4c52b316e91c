// The plain-text front end: renderName, renderDesc and handleOptions write a
// transcript to an output stream and read the player's answers line by line,
// and playGame runs the map loop over them, with no terminal handling at all.
//
// Transcript lines:
//   ==<name text>        a name line (the text keeps its leading blanks)
//   <description text>   as written in the script, tabs dropped
//   [continue]           a key wait; any line answers it
//     1)<label>          a menu, one numbered label a line
//   > 2                  the menu prompt and the answer
#pragma once
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace dumb {

// Thrown when a prompt finds the input exhausted: nobody is left to answer,
// so the run ends. The interpreter's frames release their buffers on the way.
struct InputEnded {};

struct Display {
    std::istream *in = nullptr;
    std::ostream *out = nullptr;
    bool echo = false;        // repeat each answer read, so piped runs read whole
    int32_t desc_count = 0;   // a description waits when this is 1 or more;
                              // descriptions count it up, name lines down
    uint64_t prompts = 0;     // how many times the player has been asked

    // Starts over on new streams: nothing shown, nothing asked.
    void reset(std::istream &input, std::ostream &output, bool echoAnswers);
};

// The display the interpreter's output goes to.
extern Display display;

// Script text as the curses panes show it: tabs and newlines as they are,
// other control bytes in caret notation (ESC as ^[, DEL as ^?), so a script
// cannot drive the terminal a transcript is read on.
std::string visible(std::string_view text);

// Shows "[continue]" and waits for a line.
void continueWait();

// Returns a map's script text for a path such as "game/start.zok", or nothing
// when it is missing or cannot be read.
using MapLoader = std::function<std::optional<std::string>(const std::string &path)>;

enum class Ending { Died, Won, MapMissing, InputEnded, Idle };

// The map loop: starts at "start", runs each map's script, goes on after
// ".go" with a continue wait, runs a map again after ".exit", ".break" or its
// end, and stops at an ending, a map that cannot be loaded, the end of the
// input, or after maxIdlePasses passes in a row that asked the player nothing
// (0: no limit).
Ending playGame(const MapLoader &load, uint32_t maxIdlePasses);

}  // namespace dumb
