// zokc check: every problem the checks find in a game, one a line as
// compilers report them, then a count; the exit status says whether any is
// an error.
#include "checks.hpp"
#include "cli.hpp"
#include "commands.hpp"

#include <iostream>
#include <set>

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
        "\n"
        "  -Werror       count warnings as errors\n"
        "  -Wno-NAME     report no problems of the kind NAME\n"
        "  -h, --help    show this text\n"
        "\n"
        "Kinds of problem:\n";
    for (const checks::Kind &kind : checks::KINDS) {
        std::string name = kind.name;
        name.resize(std::max<size_t>(name.size() + 1, 18), ' ');
        text += "  " + name + (kind.severity == diag::Severity::Error ? "error    " : "warning  ") + kind.about + "\n";
    }
    text +=
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
    bool warningsAreErrors = false;
    std::set<std::string> silenced;
    while (args.more()) {
        std::string name;
        if (args.flag("-Werror")) {
            warningsAreErrors = true;
        } else if (args.prefixed("-Wno-", name)) {
            if (!checks::findKind(name))
                cli::usage("no kind of problem is called '" + name + "'");
            silenced.insert(name);
        } else {
            args.folder();
        }
    }
    const std::string dir = args.dir();
    folder::Game game;
    if (!folder::readGame(dir, game))
        throw cli::Exit{cli::EXIT_USAGE, "cannot read the game folder '" + dir + "'"};

    std::vector<diag::Diagnostic> found = checks::checkGame(game);
    std::erase_if(found, [&](const diag::Diagnostic &d) { return silenced.contains(d.kind); });
    if (warningsAreErrors)
        for (diag::Diagnostic &d : found)
            d.severity = diag::Severity::Error;
    diag::report(std::cout, found);
    std::cout << diag::tally(found, " and ") << " in " << diag::plural(game.maps.size(), "map", "maps") << '\n';
    return diag::count(found, diag::Severity::Error) > 0 ? cli::EXIT_PROBLEMS : cli::EXIT_OK;
}
