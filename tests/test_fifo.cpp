// Files: which paths read as a script and how exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "fifo.hpp"
#include "interp.hpp"

namespace fs = std::filesystem;

namespace {

// A fresh folder of its own for each test, removed with all it holds.
struct Scratch {
    std::string dir;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "zok-files-XXXXXX").string();
        dir = mkdtemp(pattern.data());
    }
    ~Scratch() { fs::remove_all(dir); }
    std::string at(const std::string &name) const { return dir + "/" + name; }
    std::string file(const std::string &name, const std::string &bytes) const {
        FILE *f = fopen(at(name).c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return at(name);
    }
};

}  // namespace

TEST(Files, OnlyARegularFileReadsAsAScriptWholeAndUnchanged) {
    Scratch s;
    std::string bytes;  // every byte value, CR LF and zeros too, over several old 127-byte pieces
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
    mkfifo(s.at("pipe").c_str(), 0600);  // no writer: opening it the usual way would wait forever
    fs::create_directory(s.at("folder"));
    fs::create_symlink("/dev/zero", s.at("zero"));
    s.file("huge", "");
    fs::resize_file(s.at("huge"), UINT32_MAX);  // sparse; with its zero byte past the 32-bit count

    struct Case { std::string path; uint32_t want; std::string text; };
    const Case cases[] = {{s.at("pipe"), 0, ""},   {s.at("folder"), 0, ""},
                          {s.at("zero"), 0, ""},   {s.at("huge"), 0, ""},
                          {s.at("missing"), 0, ""}, {s.file("empty", ""), 1, ""},
                          {s.file("long", bytes), 301, bytes}};
    for (const Case &c : cases) {
        for (bool stale : {false, true}) {  // no block yet, or one from before
            char *block = stale ? strdup("stale") : nullptr;
            const uint32_t n = readfile(&block, c.path.c_str());
            EXPECT_EQ(n, c.want) << c.path;
            if (n == c.want && n > 0) {
                EXPECT_EQ(std::string(block, n), c.text + '\0') << c.path;
            }
            free(block);
        }
    }
}
