// Game tests: every file in tests/games is a small game with the answers a
// player types and the transcript the core's map loop must give through the
// plain front end, ending with how the game ended.
//
//   # what the case shows (any lines before the first section)
//   @@ map start          a map's script, up to the next section
//   @@ answers            one line each
//   @@ idle 3             passes in a row without a key wait that end the game (default 1)
//   @@ transcript         exactly what is shown, then "-- won", "-- died",
//                         "-- missing", "-- idle" or "-- input ended"
//
// In map scripts \r, \t, \0, \xHH and \\ stand for their bytes, and \c ends
// the script there (so that it can end without a newline).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "VarTable.hpp"
#include "game.hpp"
#include "interp.hpp"
#include "plain.hpp"

namespace {

namespace fs = std::filesystem;

struct Case {
    std::map<std::string, std::string> maps;  // script by file path
    std::string answers, transcript;
    uint32_t idle = 1;
};

std::string unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r') out += '\r';
        else if (c == 't') out += '\t';
        else if (c == '0') out += '\0';
        else if (c == 'c') break;
        else if (c == 'x' && i + 2 < text.size()) out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else out += c;
    }
    return out;
}

Case readCase(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    Case c;
    std::string line, *into = nullptr, map;
    bool script = false;
    auto finish = [&] {
        if (!map.empty()) c.maps["game/" + map + ".zok"] = unescape(c.maps["game/" + map + ".zok"]);
        map.clear();
    };
    while (std::getline(in, line)) {
        if (line.starts_with("@@ ")) {
            finish();
            std::istringstream head(line.substr(3));
            std::string kind;
            head >> kind;
            script = kind == "map";
            if (script) head >> map, into = &c.maps["game/" + map + ".zok"];
            else if (kind == "answers") into = &c.answers;
            else if (kind == "transcript") into = &c.transcript;
            else if (kind == "idle") head >> c.idle, into = nullptr;
            else ADD_FAILURE() << file << ": unknown section " << line;
            continue;
        }
        if (into) *into += line + "\n";
    }
    finish();
    return c;
}

// Each script in a heap block of exactly its size, as the file reader hands
// it over, so a read past its terminating zero trips the sanitizers.
MapLoader fromMemory(const std::map<std::string, std::string> &maps)
{
    return [&maps](char **text, const char *path) -> uint32_t {
        const auto found = maps.find(path);
        if (found == maps.end()) return 0;
        const size_t size = found->second.size() + 1;
        *text = static_cast<char *>(malloc(size));
        memcpy(*text, found->second.c_str(), size);
        return static_cast<uint32_t>(size);
    };
}

std::string play(const Case &c)
{
    global_variables = newVarTable(128);
    desc_count = 0;
    std::istringstream in(c.answers);
    std::ostringstream out;
    plain::Plain front(in, out, true);
    const char *ends[] = {"died", "won", "missing", "idle"};
    std::string ending;
    try {
        ending = ends[static_cast<int>(playGame(front, "game", fromMemory(c.maps), c.idle))];
    } catch (const plain::InputEnded &) {
        ending = "input ended";
    }
    freeVarTable(global_variables);
    free(go_map);
    global_variables = nullptr, go_map = nullptr;
    std::string left;
    if (std::getline(in, left)) ending += " (answers left over)";
    return out.str() + "-- " + ending + "\n";
}

class Games : public testing::TestWithParam<fs::path> {};

TEST_P(Games, PlayAsTheTranscriptSays)
{
    const Case c = readCase(GetParam());
    EXPECT_EQ(play(c), c.transcript);
}

std::vector<fs::path> caseFiles()
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(GAMES_DIR))
        if (entry.path().extension() == ".case") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(Cases, Games, testing::ValuesIn(caseFiles()), [](const auto &info) {
    std::string name = info.param.stem().string();
    for (char &ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

}  // namespace
