// Each file in tests/games is a game played through the core's map loop and the plain front end:
//   # what the case shows (lines before the first section)
//   @@ map NAME    a script: \r \t \0 \xHH \\ stand for bytes, \c ends it there
//   @@ answers     the player's lines (default: what follows each "> ", an empty line per [continue])
//   @@ idle N      passes in a row without a key wait that end the game (default 1)
//   @@ transcript  all that is shown, then "-- won", "-- died", "-- missing", "-- idle" or
//                  "-- input ended" (the last prompt then goes unanswered)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "VarTable.hpp"
#include "game.hpp"
#include "interp.hpp"
#include "plain.hpp"

namespace {

namespace fs = std::filesystem;

struct Case {
    std::map<std::string, std::string> maps;  // script by file path
    std::optional<std::string> answers;
    std::string transcript;
    int idle = 1;
};

std::string unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
        if (c == 'c') break;
        if (c == 'x') out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else out += c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : text[i];
    }
    return out;
}

Case readCase(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    Case c;
    std::string line, *into = nullptr;
    while (std::getline(in, line)) {
        if (!line.starts_with("@@ ")) {
            if (into) *into += line + "\n";
            continue;
        }
        std::istringstream head(line.substr(3));
        std::string kind, arg;
        head >> kind >> arg;
        if (kind == "map") into = &c.maps["game/" + arg + ".zok"];
        else if (kind == "answers") into = &c.answers.emplace();
        else if (kind == "transcript") into = &c.transcript;
        else if (kind == "idle") c.idle = std::stoi(arg), into = nullptr;
        else ADD_FAILURE() << file << ": unknown section " << line;
    }
    for (auto &[path, script] : c.maps) script = unescape(script);
    if (c.answers) return c;
    std::istringstream shown(c.transcript);
    std::string &answers = c.answers.emplace();
    while (std::getline(shown, line))
        if (line.starts_with("> ") || line == "[continue]") answers += (line[0] == '>' ? line.substr(2) : "") + "\n";
    if (c.transcript.ends_with("-- input ended\n"))  // the last answer goes
        answers.erase(answers.size() < 2 ? 0 : answers.rfind('\n', answers.size() - 2) + 1);
    return c;
}

class Games : public testing::TestWithParam<fs::path> {};

TEST_P(Games, PlayAsTheTranscriptSays)
{
    const Case c = readCase(GetParam());
    // Each script in a heap block of its exact size, as files are read, so the sanitizers see overreads.
    const MapLoader load = [&c](char **text, const char *path) -> uint32_t {
        const auto found = c.maps.find(path);
        if (found == c.maps.end()) return 0;
        const size_t size = found->second.size() + 1;
        *text = static_cast<char *>(memcpy(malloc(size), found->second.c_str(), size));
        return static_cast<uint32_t>(size);
    };
    global_variables = newVarTable(128);
    desc_count = 0;
    std::istringstream in(*c.answers);
    std::ostringstream out;
    plain::Plain front(in, out, true);
    std::string ending = "input ended";
    try {
        ending = std::vector<std::string>{"died", "won", "missing", "idle"}[int(playGame(front, "game", load, c.idle))];
    } catch (const plain::InputEnded &) {
    }
    freeVarTable(global_variables), free(go_map);
    global_variables = nullptr, go_map = nullptr;
    if (std::string left; std::getline(in, left)) ending += " (answers left over)";
    EXPECT_EQ(out.str() + "-- " + ending + "\n", c.transcript);
}

std::vector<fs::path> caseFiles()
{
    std::vector<fs::path> files(fs::directory_iterator(GAMES_DIR), {});
    std::erase_if(files, [](const fs::path &file) { return file.extension() != ".case"; });
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(Cases, Games, testing::ValuesIn(caseFiles()), [](const auto &info) {
    std::string name = info.param.stem().string();
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

}  // namespace
