// zokc check on any bytes as the one map "start" of a game: it must not
// crash, and every problem it reports must point into the map: a line that
// exists, and a column from 1 to just past that line's last byte.
#include "checks.hpp"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The map is given as a text, as an editor gives its unsaved buffers,
    // in a folder that holds nothing else.
    static const struct Folder {
        std::string path;
        Folder()
        {
            char name[] = "/tmp/zok-fuzz-check-XXXXXX";
            if (!mkdtemp(name))
                abort();
            path = name;
        }
        ~Folder() { rmdir(path.c_str()); }
    } folder;
    const zokc::MapStore game(folder.path, {{"start", std::string(reinterpret_cast<const char *>(data), size)}});
    const zokc::Map &map = game.map(0);
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
