// zokdumb: plays the game in ./game with no terminal handling, writing a
// plain transcript to standard output and reading answers from standard
// input, so authors can play, script and diff runs of their maps.
#include "dumb_display.hpp"

#include "VarTable.hpp"
#include "interp.hpp"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

constexpr uint32_t DEFAULT_MAX_IDLE_PASSES = 1000;

const char *const USAGE =
    "usage: zokdumb [--max-idle-passes N]\n"
    "\n"
    "Plays the game in ./game (starting at game/start.zok) as plain text:\n"
    "name lines start with \"==\", descriptions follow as written, \"[continue]\"\n"
    "waits for a line, and a menu lists numbered options and reads a line\n"
    "holding the number of the one to take. Answers are read from standard\n"
    "input and, when it is not a terminal, repeated in the transcript.\n"
    "\n"
    "  --max-idle-passes N  stop after N passes in a row through maps that asked\n"
    "                       nothing (a map with no waits and no ending is run\n"
    "                       again forever); 0 means no limit; default 1000\n"
    "  -h, --help           show this text\n"
    "\n"
    "Exit status: 0 when the game ends (an ending, a map that cannot be loaded,\n"
    "or the end of the input), 1 when stopped for idle passes, 2 for bad usage.\n";

struct FreeText {
    void operator()(char *text) const { free(text); }
};

std::optional<std::string> loadMap(const std::string &path)
{
    char *block = nullptr;
    const uint32_t size = readMap(&block, path.c_str());
    const std::unique_ptr<char, FreeText> owned(block);
    if (size == 0)
        return std::nullopt;
    return std::string(block, size - 1);
}

bool parseCount(const char *text, uint32_t &count)
{
    const char *end = text + strlen(text);
    const auto [stop, error] = std::from_chars(text, end, count);
    return *text != '\0' && error == std::errc() && stop == end;
}

}  // namespace

int main(int argc, char **argv)
{
    uint32_t maxIdlePasses = DEFAULT_MAX_IDLE_PASSES;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help")) {
            std::cout << USAGE;
            return 0;
        }
        if (strcmp(argv[i], "--max-idle-passes") != 0) {
            std::cerr << "zokdumb: unknown argument '" << argv[i] << "' (see --help)\n";
            return 2;
        }
        if (++i == argc || !parseCount(argv[i], maxIdlePasses)) {
            std::cerr << "zokdumb: --max-idle-passes takes a number of passes (0: no limit)\n";
            return 2;
        }
    }

    global_variables = newVarTable(128);
    special_variables = newVarTable(32);
    dumb::display.reset(std::cin, std::cout, !isatty(STDIN_FILENO));
    const dumb::Ending ending = dumb::playGame(loadMap, maxIdlePasses);
    std::cout.flush();
    if (ending == dumb::Ending::Idle)
        std::cerr << "zokdumb: stopped after " << maxIdlePasses
                  << " passes in a row that asked nothing; map '" << dumb::visible(go_map)
                  << "' runs again and again without a wait or an ending\n";

    freeVarTable(global_variables);
    freeVarTable(special_variables);
    free(go_map);
    global_variables = special_variables = nullptr;
    go_map = nullptr;
    return ending == dumb::Ending::Idle ? 1 : 0;
}
