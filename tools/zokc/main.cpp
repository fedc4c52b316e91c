// zokc, the author's tool: one executable with a command for each job an
// author runs from a shell on a game folder.
#include "cli.hpp"
#include "commands.hpp"

#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

namespace {

const char *running = nullptr;  // the command being run, for messages
constexpr const char *VERSION = "zokc 0.1";

struct Command {
    const char *name;
    int (*run)(int argc, char **argv);
    const char *summary;
};

constexpr Command COMMANDS[] = {
    {"play", playCommand, "play the game as plain text, with record and replay"},
    {"check", checkCommand, "report every problem in the game's scripts, as compilers do"},
    {"graph", graphCommand, "draw the game's map, as Graphviz DOT"},
    {"explore", exploreCommand, "play every branch of the game and report its problems"},
    {"random", randomCommand, "play the game many times at random and report its problems"},
    {"web", webCommand, "write the game as one web page that plays it in a browser"},
    {"lsp", lspCommand, "serve editors as a language server on standard input and output"},
};

void help()
{
    std::cout << "usage: zokc COMMAND [OPTIONS] [DIR]\n"
                 "       zokc COMMAND --help | zokc --help | zokc --version\n"
                 "\n"
                 "The author's tool for zok games. DIR is the folder holding the maps\n"
                 "(default: game); each map is DIR/<map>.zok, or in a sub-folder of DIR\n"
                 "(DIR/rooms/cellar.zok for '.go rooms/cellar'), and play starts at start.\n"
                 "\n"
                 "Commands:\n";
    for (const Command &command : COMMANDS)
        std::cout << "  " << command.name << std::string(10 - strlen(command.name), ' ') << command.summary
                  << '\n';
    std::cout << "\n"
                 "Exit status: 0 when all is well, 1 when the command found a problem in\n"
                 "the game, 2 for bad usage or a folder that cannot be read.\n";
}

int dispatch(int argc, char **argv)
{
    if (argc < 2) {
        std::string names;
        for (const Command &command : COMMANDS)
            names += (names.empty() ? "" : ", ") + std::string(command.name);
        cli::usage("which command? one of: " + names);
    }
    const std::string_view name = argv[1];
    if (name == "-h" || name == "--help") {
        help();
        return cli::EXIT_OK;
    }
    if (name == "--version") {
        std::cout << VERSION << '\n';
        return cli::EXIT_OK;
    }
    for (const Command &command : COMMANDS) {
        if (name == command.name) {
            running = command.name;
            return command.run(argc - 1, argv + 1);
        }
    }
    cli::usage("unknown command '" + std::string(name) + "'");
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        return dispatch(argc, argv);
    } catch (const cli::Exit &exit) {
        if (!exit.message.empty()) {
            std::cout.flush();
            // a line each, for a message of several
            std::string_view rest = exit.message;
            for (size_t end = 0; end != std::string_view::npos; rest.remove_prefix(end + 1)) {
                end = rest.find('\n');
                std::cerr << "zokc" << (running ? " " : "") << (running ? running : "") << ": "
                          << rest.substr(0, end) << '\n';
            }
        }
        return exit.status;
    }
}
