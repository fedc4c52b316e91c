// zokc check over a whole game: 1,000 maps of about 10 KB each, written to a
// temporary folder, then listed, read, surveyed and checked, and the report
// printed (to memory), as `zokc check` does. The goal is under a second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "checks.hpp"
#include "diagnostics.hpp"
#include "maps.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int MAPS = 1000;
constexpr size_t MAP_BYTES = 10 * 1024;

const std::string PROSE = "Grey water laps at the stones, and gulls wheel over the rocks.\n";

std::string name(int n)
{
    return n == 0 ? "start" : "room" + std::to_string(n);
}

// A map as authors write them: a name, descriptions, conditions on
// variables, and a menu whose options lead on to other maps.
std::string map(int n)
{
    const std::string next = name((n + 1) % MAPS), back = name((n + MAPS - 1) % MAPS);
    std::string text = ".name  Room " + std::to_string(n) + "\n";
    std::string list =
        ".list\n.loop\n"
        ".opt  Walk on\n.go " + next + "\n.tpo\n"
        ".opt  Go back\n.go " + back + "\n.tpo\n"
        ".if lamp=0\n.opt  Take the lamp\n.set lamp\n.desc\nYou take the lamp.\n.dend\n.tpo\n.fi\n"
        ".opt  Search\n.if lamp&key\n.desc\nA glint in the dark.\n.dend\n.set gold 3\n.elif lamp\n"
        ".desc\nNothing but sand.\n.dend\n.set key\n.else\n.desc\nToo dark to see.\n.dend\n.fi\n.tpo\n"
        ".opt  Sit down\n.break\n.tpo\n.lend\n";
    for (int block = 0; text.size() + list.size() < MAP_BYTES; block++) {
        text += block % 2 ? ".if gold=3\n.desc\n" : ".desc\n";
        for (int line = 0; line < 10 && text.size() + list.size() < MAP_BYTES; line++)
            text += PROSE;
        text += block % 2 ? ".dend\n.else\n.name  Room " + std::to_string(n) + "\n.fi\n" : ".dend\n";
    }
    return text + list;
}

struct Game {
    fs::path dir;
    Game()
    {
        std::string pattern = (fs::temp_directory_path() / "zok-bench-XXXXXX").string();
        dir = mkdtemp(pattern.data());
        for (int n = 0; n < MAPS; n++)
            std::ofstream(dir / (name(n) + ".zok")) << map(n);
    }
    ~Game() { fs::remove_all(dir); }
};

void CheckGame(benchmark::State &state)
{
    const Game game;
    size_t bytes = 0, reported = 0;
    for (auto _ : state) {
        const zokc::MapStore read(game.dir.string());
        std::vector<diag::Diagnostic> found = checks::checkGame(read);
        std::ostringstream out;
        diag::report(out, found);
        bytes = 0;
        for (const zokc::Map &map : read.listedMaps())
            bytes += map.text.size();
        reported = found.size();
        benchmark::DoNotOptimize(out);
    }
    state.counters["maps"] = MAPS;
    state.counters["MB"] = static_cast<double>(bytes) / (1 << 20);
    state.counters["diagnostics"] = static_cast<double>(reported);
}
BENCHMARK(CheckGame)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
