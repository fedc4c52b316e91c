// zokc play: the game as plain text on standard input and output, with the
// player's answers recorded to a file or replayed from one.
#include "cli.hpp"
#include "commands.hpp"
#include "plain.hpp"

#include "engine.hpp"
#include "game.hpp"
#include "interp.hpp"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

const char *const HELP =
    "usage: zokc play [--record FILE] [--replay FILE] [--max-idle-passes N] [DIR]\n"
    "\n"
    "Plays the game in DIR (default: game) as plain text, starting at\n"
    "DIR/start.zok. It asks for your name first. Name lines start with \"==\",\n"
    "descriptions follow as written, \"[continue]\" waits for a line, and a menu\n"
    "lists numbered options and reads the number of the one to take. Control\n"
    "bytes in the scripts are shown in caret notation (ESC as ^[).\n"
    "\n"
    "  --record FILE          write every answer given to FILE, one a line: the\n"
    "                         name, an empty line for each key wait, the number\n"
    "                         chosen at each menu; `zokc play < FILE` then plays\n"
    "                         the same game again\n"
    "  --replay FILE          take the answers from FILE first, then go on\n"
    "                         reading standard input; an answer in FILE that no\n"
    "                         longer fits its menu stops play with its line\n"
    "  --max-idle-passes N    end the game after N passes in a row that waited\n"
    "                         for no key (default 1000; 0: never)\n"
    "  -h, --help             show this text\n"
    "\n"
    "Answers read from a pipe or a file are repeated in the transcript.\n"
    "Exit status: 0 when the game ends with a death or a victory, or the\n"
    "answers run out; 1 when play stops on a problem in the game (a map that\n"
    "cannot be loaded, a map that never waits, a replayed answer that no longer\n"
    "fits); 2 for bad usage or a folder or file that cannot be read.\n";

}  // namespace

int playCommand(int argc, char **argv)
{
    cli::Args args(argc, argv, HELP);
    std::string record, replay;
    uint64_t maxIdle = MAX_IDLE_PASSES;
    while (args.more()) {
        if (!args.option("--record", record) && !args.option("--replay", replay) &&
            !args.number("--max-idle-passes", maxIdle))
            args.folder();
    }
    if (maxIdle > UINT32_MAX)
        cli::usage("--max-idle-passes takes at most " + std::to_string(UINT32_MAX));
    const std::string dir = args.dir();

    plain::Plain front(std::cin, std::cout, !isatty(STDIN_FILENO));
    std::ifstream replayed;
    if (!replay.empty()) {
        replayed.open(replay);
        if (!replayed)
            throw cli::Exit{cli::EXIT_USAGE, "cannot read the replay file '" + replay + "'"};
        front.replayFrom(replayed, replay);
    }
    std::ofstream recorded;
    if (!record.empty()) {
        recorded.open(record, std::ios::trunc);
        if (!recorded)
            throw cli::Exit{cli::EXIT_USAGE, "cannot write the record file '" + record + "'"};
        front.recordTo(recorded);
    }

    const Engine engine;
    try {
        front.greet();
        const Ending ending = playGame(front, dir.c_str(), readMap, static_cast<uint32_t>(maxIdle));
        std::cout.flush();
        return ending == Ending::Died || ending == Ending::Won ? cli::EXIT_OK : cli::EXIT_PROBLEMS;
    } catch (const plain::InputEnded &) {
        return cli::EXIT_OK;
    } catch (const plain::ReplayMismatch &mismatch) {
        std::cout.flush();
        throw cli::Exit{cli::EXIT_PROBLEMS, mismatch.file + ":" + std::to_string(mismatch.line) + ": the answer '" +
                                                plain::visible(mismatch.answer) + "' fits no option of a menu of " +
                                                std::to_string(mismatch.options)};
    }
}
