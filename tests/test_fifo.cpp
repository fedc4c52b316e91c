// Files: which paths read as a script and how exactly, directory listings, guarded removal, extensions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "fifo.hpp"
#include "interp.hpp"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// A fresh folder of its own for each test, removed with all it holds.
struct Scratch {
    std::string dir;
    Scratch() : dir(mkdtemp((fs::temp_directory_path() / "zok-files-XXXXXX").string().data())) {}
    ~Scratch() { fs::remove_all(dir); }
    std::string at(const std::string &name) const { return dir + "/" + name; }
    std::string file(const std::string &name, const std::string &bytes) const {
        std::ofstream(at(name), std::ios::binary) << bytes;
        return at(name);
    }
};

using Listing = std::vector<std::pair<std::string, int>>;

Listing rest(Dir *dir) {
    Listing out;
    while (DirEntry *e = readDir(dir)) out.emplace_back(e->name, e->type);
    return out;
}

}  // namespace

TEST(Files, OnlyARegularFileReadsAsAScriptWholeAndUnchanged) {
    Scratch s;
    std::string bytes;  // every byte value, CR LF and zeros too
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
    mkfifo(s.at("pipe").c_str(), 0600);  // no writer: opening it the usual way would wait forever
    fs::create_directory(s.at("folder"));
    fs::create_symlink("/dev/zero", s.at("zero"));
    s.file("huge", "");
    fs::resize_file(s.at("huge"), UINT32_MAX);  // sparse; with its zero byte past the 32-bit count
    const std::pair<std::string, std::string> cases[] = {{s.at("pipe"), ""}, {s.at("folder"), ""}, {s.at("zero"), ""},
        {s.at("huge"), ""}, {s.at("missing"), ""}, {s.file("empty", ""), "\0"s}, {s.file("long", bytes), bytes + '\0'}};
    for (const auto &[path, want] : cases)
        for (bool stale : {false, true}) {  // no block yet, or one from before
            char *block = stale ? strdup("stale") : nullptr;
            const uint32_t n = readfile(&block, path.c_str());
            EXPECT_EQ(n, want.size()) << path;
            if (n == want.size() && n > 0) { EXPECT_EQ(std::string(block, n), want) << path; }
            free(block);
        }
}

TEST(Files, ListingIsSortedTypedAndStaysExhausted) {
    Scratch s, empty;
    for (const char *name : {"b.zok", "a.zok"}) s.file(name, "x");  // out of order
    fs::create_symlink("a.zok", s.at("link"));
    fs::create_symlink("nowhere", s.at("dangling"));
    mkfifo(s.at("pipe").c_str(), 0600);
    DirPtr dir(openDir(s.dir.c_str(), 7)), bare(openDir(empty.dir.c_str(), 0));
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->tag, 7u);
    EXPECT_EQ(rest(dir.get()), (Listing{{".", ENTRY_DIR}, {"..", ENTRY_DIR}, {"a.zok", ENTRY_FILE}, {"b.zok", ENTRY_FILE},
                                        {"dangling", ENTRY_LINK}, {"link", ENTRY_LINK}, {"pipe", ENTRY_OTHER}}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(readDir(dir.get()), nullptr);  // no rewind
    EXPECT_EQ(rest(bare.get()), (Listing{{".", ENTRY_DIR}, {"..", ENTRY_DIR}}));
}

TEST(Files, UnscannableFolderIsReportedAndGivesNoListing) {
    Scratch s;
    EXPECT_EQ(openDir(nullptr, 0), nullptr);
    for (const std::string &path : {s.at("missing"), s.file("plain", "x")}) {
        testing::internal::CaptureStderr();
        Dir *dir = openDir(path.c_str(), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(dir, nullptr) << path;
        EXPECT_TRUE(err.starts_with("openDir: ") && err.find('\n') == err.size() - 1) << err;
        EXPECT_EQ(readDir(dir), nullptr);
        EXPECT_EQ(closeDir(dir), 1);
    }
}

TEST(Files, DeleteTellsMissingFromFailedAndExtensionsCountFromTheLastDot) {
    Scratch s;
    fs::create_directory(s.at("full"));
    s.file("full/inside", "x");
    const std::string gone = s.file("gone.zok", "x"), missing = s.at("missing"), full = s.at("full");
    EXPECT_EQ(deleteFile(nullptr), 1);
    const std::tuple<std::string, int, int> removals[] = {{missing, 2, 0}, {gone, 0, 0}, {full, -1, 1}};
    for (const auto &[path, want, left] : removals) {
        EXPECT_EQ(deleteFile(path.c_str()), want) << path;
        EXPECT_EQ(fileExists(path.c_str()), left) << path;
    }
    struct Ext { const char *name, *ext; int want; };
    const Ext exts[] = {{"start.zok", ".zok", 1}, {"start.zok", "zok", 0},  {"start", ".zok", 0},
                        {nullptr, ".zok", 0},     {"start.zok", nullptr, 0}, {"a.b.zok", ".zok", 1},
                        {"a.b.zok", ".b.zok", 0}, {"start.ZOK", ".zok", 0},  {".zok", ".zok", 1}};
    for (const Ext &e : exts)
        EXPECT_EQ(hasExtension(e.name, e.ext), e.want) << (e.name ? e.name : "null") << " / " << (e.ext ? e.ext : "null");
}
