// zokc check on any bytes as the one map "start" of a game: it must not
// crash, and every problem it reports must point into the map: a line that
// exists, and a column from 1 to just past that line's last byte.
#include "checks.hpp"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    folder::Game game;
    game.dir = "game";
    folder::Map &map = game.maps.emplace_back();
    map.name = "start";
    map.path = "game/start.zok";
    map.text.assign(reinterpret_cast<const char *>(data), size);
    {
        // As the map reader gives it: a heap block of exactly the script
        // and its terminating zero.
        char *text = static_cast<char *>(malloc(size + 1));
        memcpy(text, data, size);
        text[size] = '\0';
        map.survey = survey::surveyMap(text, static_cast<uint32_t>(size + 1));
        free(text);
    }
    std::vector<size_t> lengths(1);  // of each line, its newline not counted
    for (const char ch : map.text) {
        if (ch == '\n')
            lengths.push_back(0);
        else
            lengths.back()++;
    }
    for (const diag::Diagnostic &d : checks::checkGame(game)) {
        if (d.file != map.path || d.line < 1 || d.line > lengths.size() || d.col < 1 ||
            d.col > lengths[d.line - 1] + 1)
            abort();
    }
    return 0;
}
