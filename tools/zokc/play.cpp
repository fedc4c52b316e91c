// zokc play: the game as plain text on standard input and output, with the
// player's answers recorded to a file or replayed from one.
#include "cli.hpp"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "plain.hpp"
#include "replay.hpp"

#include "engine.hpp"
#include "game.hpp"
#include "interp.hpp"
#include "rules.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <iostream>
#include <optional>
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
    "  --record FILE          write every answer given to FILE, one a line after\n"
    "                         \"# zokc replay\": the name, an empty line for each\n"
    "                         key wait, the number and label chosen at each menu\n"
    "                         (\"2 Take the lamp\"); `zokc play < FILE` then plays\n"
    "                         the same game again. FILE is replaced when play\n"
    "                         ends, and left whole by a run that fails or is\n"
    "                         interrupted; never the replay file or a map\n"
    "  --replay FILE          take the answers from FILE first, then go on\n"
    "                         reading standard input; an answer in FILE whose\n"
    "                         menu no longer shows its label at its number stops\n"
    "                         play with its line (files of numbers alone play)\n"
    "  --max-idle-passes N    end the game after N passes in a row that waited\n"
    "                         for no key (default {idle}; 0: never)\n"
    "  -h, --help             show this text\n"
    "\n"
    "Answers read from a pipe or a file are repeated in the transcript.\n"
    "Exit status: 0 when the game ends with a death or a victory, or the\n"
    "answers run out; 1 when play stops on a problem in the game (a map that\n"
    "cannot be loaded, a map that never waits, a replayed answer that no longer\n"
    "fits); 2 for bad usage, a folder or file that cannot be read or written,\n"
    "or an answer line longer than 4096 bytes.\n";

// The files a record must not be written over: the replay file and the maps.
std::vector<replay::Record::Kept> kept(const std::string &dir, const std::string &replay)
{
    std::vector<replay::Record::Kept> files;
    if (!replay.empty())
        replay::identify(replay, "the replay file '" + replay + "'", files);
    if (DIR *listing = opendir(dir.c_str())) {
        while (const dirent *entry = readdir(listing)) {
            const std::string_view name = entry->d_name;
            if (name.size() > 4 && name.ends_with(".zok")) {
                const std::string path = dir + "/" + entry->d_name;
                replay::identify(path, "'" + path + "', a map of the game", files);
            }
        }
        closedir(listing);
    }
    return files;
}

// "walk.txt:7: the answer '2 Take the lamp' no longer fits: the menu offers
// 1 'Go north', 2 'Drop the lamp'"
std::string mismatchMessage(const plain::ReplayMismatch &mismatch)
{
    std::string text = mismatch.file + ":" + std::to_string(mismatch.line) + ": the answer '" +
                       diag::quoted(mismatch.answer) + "' no longer fits: ";
    if (mismatch.offered.empty())
        return text + "play waits for a key here";
    text += "the menu offers";
    for (size_t n = 0; n < mismatch.offered.size(); n++)
        text += (n ? ", " : " ") + std::to_string(n + 1) + " '" + diag::quoted(mismatch.offered[n]) + "'";
    return text;
}

}  // namespace

int playCommand(int argc, char **argv)
{
    static const std::string help = [] {
        std::string text = HELP;
        return text.replace(text.find("{idle}"), 6, idleLimitText());
    }();
    cli::Args args(argc, argv, help.c_str());
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

    // Answers are read and recorded through files of our own, so that every
    // read and write error is seen.
    replay::Reader input(STDIN_FILENO, "standard input", "standard input");
    plain::Plain front(input, std::cout, !isatty(STDIN_FILENO));
    const Engine engine;
    try {
        std::optional<replay::Reader> replayed;
        if (!replay.empty()) {
            replayed.emplace(replay, "the replay file '" + replay + "'");
            front.replayFrom(*replayed);
        }
        std::optional<replay::Record> recorded;
        if (!record.empty()) {
            recorded.emplace(record, kept(dir, replay));
            front.recordTo(*recorded);
        }
        const auto finish = [&](int status) {
            if (!std::cout.flush())
                throw replay::Failed{std::string("cannot write standard output: ") + strerror(errno)};
            if (recorded)
                recorded->commit();
            return status;
        };
        try {
            front.greet();
            const Ending ending = playGame(front, dir.c_str(), readMap, static_cast<uint32_t>(maxIdle));
            return finish(ending == Ending::Died || ending == Ending::Won ? cli::EXIT_OK : cli::EXIT_PROBLEMS);
        } catch (const plain::InputEnded &) {
            return finish(cli::EXIT_OK);
        } catch (const plain::ReplayMismatch &mismatch) {
            finish(cli::EXIT_PROBLEMS);
            throw cli::Exit{cli::EXIT_PROBLEMS, mismatchMessage(mismatch)};
        }
    } catch (const replay::Failed &failed) {
        std::cout.flush();
        throw cli::Exit{cli::EXIT_USAGE, failed.message};
    }
}
