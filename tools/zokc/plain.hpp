// The plain front end: the game as lines of text, answers read a line at a
// time, so a game can be played through pipes, by screen readers, and
// replayed from a file. `zokc play` and the game tests run the core's map
// loop through it.
//
// Transcript lines:
//   ==<name text>        a name line (the text keeps its leading blanks)
//   <description text>   as written in the script, tabs dropped
//   [continue]           a key wait; any line typed answers it, an empty one
//                        a replayed one
//     1)<label>          a menu, one numbered label a line
//   > 2                  the menu prompt and the answer (echoed as recorded,
//                        with its label, when read from a file)
#pragma once
#include "game.hpp"
#include "replay.hpp"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace plain {

// Thrown when a prompt finds no answer left: nobody is left to play.
struct InputEnded {};

// Thrown when a replayed answer does not fit the prompt it was given to:
// its number is not an option of the menu, its label is not the one shown
// at that number, or it answers a key wait.
struct ReplayMismatch {
    std::string file;
    size_t line;
    std::string answer;
    std::vector<std::string> offered;  // the menu's labels as shown; none at a key wait
};

// Script text as the curses panes show it: tabs and newlines as they are,
// other control bytes in caret notation (ESC as ^[, DEL as ^?), so a script
// cannot drive the terminal a transcript is read on.
std::string visible(std::string_view text);

class Plain : public FrontEnd {
public:
    // echo: repeat every answer read, so that a piped run reads whole.
    Plain(replay::Reader &in, std::ostream &out, bool echo);

    // Answers are taken from replay until it runs out, then from the input.
    void replayFrom(replay::Reader &replay);
    // Every answer given is written here too, one line each.
    void recordTo(replay::Record &record);

    // Asks for the player's name and greets them.
    void greet();

    void showName(const char *text) override;
    void showDesc(const char *text) override;
    void waitContinue() override;
    int chooseOption(WordList *labels) override;
    void showMessage(const char *text) override;

private:
    enum class Source { Input, Replay };
    std::string answer(Source &from, bool echoed = true);
    void keep(std::string_view answer);
    void write(std::string_view text);

    replay::Reader &in_;
    std::ostream &out_;
    bool echo_;
    replay::Reader *replay_ = nullptr;
    replay::Record *record_ = nullptr;
};

}  // namespace plain
