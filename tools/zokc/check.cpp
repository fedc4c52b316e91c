// zokc check: every problem the checks find in a game, one a line as
// compilers report them, then a count; the exit status says whether any is
// an error.
#include "checks.hpp"
#include "cli.hpp"
#include "commands.hpp"
#include "problems.hpp"

#include <iostream>

namespace {

std::string help()
{
    std::string text =
        "usage: zokc check [-Werror] [-Wno-NAME]... [DIR]\n"
        "\n"
        "Reads every map of the game in DIR (default: game) the way zok reads it,\n"
        "following every branch of its conditions and every option of its menus,\n"
        "and reports each problem on a line of its own, sorted by file, line and\n"
        "column:\n"
        "\n"
        "  game/hall.zok:12:1: error: '.desc' is never closed by '.dend': ... [-Wunclosed-desc]\n"
        "\n"
        "then a count of errors and warnings. An error is a mistake the game\n"
        "certainly stumbles on; a warning, one it probably does.\n"
        "\n" +
        problems::optionsHelp(16) +
        "\n"
        "Kinds of problem:\n" +
        problems::helpList(problems::CHECK) +
        "\n"
        "Exit status: 0 when there is no error (warnings allowed), 1 when there is\n"
        "one, 2 for bad usage or a folder that cannot be read.\n";
    return text;
}

}  // namespace

int checkCommand(int argc, char **argv)
{
    static const std::string HELP = help();
    cli::Args args(argc, argv, HELP.c_str());
    problems::Filter filter;
    while (args.more()) {
        std::string option;
        if (args.prefixed("-W", option))
            filter.take(option);
        else
            args.folder();
    }
    const std::string dir = args.dir();
    const zokc::MapStore game(dir);
    if (!game.readable())
        throw cli::Exit{cli::EXIT_USAGE, "cannot read the game folder '" + dir + "'"};

    std::vector<diag::Diagnostic> found = checks::checkGame(game);
    filter.apply(found);
    diag::report(std::cout, found);
    std::cout << diag::tally(found, " and ") << " in " << diag::plural(game.listedMaps().size(), "map", "maps") << '\n';
    return diag::count(found, diag::Severity::Error) > 0 ? cli::EXIT_PROBLEMS : cli::EXIT_OK;
}
