// zokc web: the game as one web page. The player page (the core built for
// the browser, see web/) is a template with a place for the game; this fills
// it with every map of the folder, so the page needs nothing else to play.
#include "checks.hpp"
#include "cli.hpp"
#include "commands.hpp"
#include "maps.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const HELP =
    "usage: zokc web [-o FILE] [--force] [--template FILE] [DIR]\n"
    "\n"
    "Writes the game in DIR (default: game) as one web page: the zok player\n"
    "and every map, in a single HTML file that plays in a browser opened from\n"
    "the disk or from any web host, with no other file and no network.\n"
    "\n"
    "  -o FILE            the page to write (default: DIR/../<folder name>.html)\n"
    "  --force            write the page even though zokc check finds errors\n"
    "  --template FILE    the player page to fill (default: the one installed\n"
    "                     with zokc, or built beside it by `make web`)\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit status: 0 when the page is written, 1 when the game has errors\n"
    "(zokc check lists them), 2 for bad usage, a folder that cannot be read or\n"
    "a page that cannot be written.\n";

constexpr std::string_view GAME_MARK = "@ZOK_GAME@";
constexpr const char *TEMPLATE_NAME = "zok-player.html";

std::string base64(std::string_view bytes)
{
    static constexpr char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = 0;
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        for (size_t k = 0; k < 3; k++)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0);
        for (size_t k = 0; k < 4; k++)
            text += k <= n ? DIGITS[group >> (18 - 6 * k) & 63] : '=';
    }
    return text;
}

// The places a template is looked for: installed beside zokc (bin/ and
// share/zok/web/), then in the build tree (tools/ and web/).
std::vector<fs::path> templatePlaces()
{
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const fs::path up = self.parent_path().parent_path();
    return {up / "share/zok/web" / TEMPLATE_NAME, up / "web" / TEMPLATE_NAME};
}

std::string readTemplate(const std::string &given)
{
    std::vector<fs::path> places = given.empty() ? templatePlaces() : std::vector<fs::path>{given};
    for (const fs::path &place : places) {
        std::ifstream in(place, std::ios::binary);
        std::ostringstream text;
        if (in && text << in.rdbuf())
            return text.str();
    }
    std::string looked;
    for (const fs::path &place : places)
        looked += (looked.empty() ? "" : ", ") + place.string();
    throw cli::Exit{cli::EXIT_USAGE, "no player page at " + (looked.empty() ? "?" : looked) +
                                         ": build it with `make web` (and install it with `make install`), "
                                         "or give --template FILE"};
}

// Errors zokc check would report stop the page, unless forced: a player
// would meet them.
void refuseErrors(const zokc::MapStore &game)
{
    std::vector<diag::Diagnostic> errors = checks::checkGame(game);
    std::erase_if(errors, [](const diag::Diagnostic &d) { return d.severity != diag::Severity::Error; });
    if (errors.empty())
        return;
    diag::report(std::cout, errors);
    throw cli::Exit{cli::EXIT_PROBLEMS,
                    "not writing a page for a game with " + diag::plural(errors.size(), "error", "errors") +
                        " (listed above, as zokc check reports them); fix them, or give --force to write it "
                        "all the same"};
}

}  // namespace

int webCommand(int argc, char **argv)
{
    cli::Args args(argc, argv, HELP);
    std::string output, templateFile;
    bool force = false;
    while (args.more()) {
        if (args.flag("--force"))
            force = true;
        else if (!args.option("-o", output) && !args.option("--template", templateFile))
            args.folder();
    }
    const std::string dir = args.dir();
    const zokc::MapStore game(dir);
    if (!game.readable())
        throw cli::Exit{cli::EXIT_USAGE, "cannot read the game folder '" + dir + "'"};
    if (!force)
        refuseErrors(game);
    std::string page = readTemplate(templateFile);

    const std::string name = fs::weakly_canonical(fs::absolute(dir)).filename().string();
    if (output.empty())
        output = (fs::path(dir) / ".." / (name + ".html")).lexically_normal().string();
    // The game as the page reads it: its title, then a map a line.
    std::string data = base64(name);
    // Every map of the folder and its sub-folders that can be read.
    for (const zokc::Map &map : game.listedMaps())
        if (map.exists)
            data += '\n' + base64(map.name) + ' ' + base64(map.text);
    const size_t mark = page.find(GAME_MARK);
    if (mark == std::string::npos || page.find(GAME_MARK, mark + 1) != std::string::npos)
        throw cli::Exit{cli::EXIT_USAGE, "'" + (templateFile.empty() ? std::string("the player page") : templateFile) +
                                             "' is not a zok player page"};
    page.replace(mark, GAME_MARK.size(), data);

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!(out << page) || !out.flush())
        throw cli::Exit{cli::EXIT_USAGE, "cannot write the page '" + output + "'"};
    std::cout << "zokc web: wrote " << output << " (" << page.size() << " bytes)\n";
    return cli::EXIT_OK;
}
