// Files: which paths read as a script and how exactly, directory listings
// with their order, kinds and exhaustion, guarded removal and extensions.
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

TEST(Files, ListingIsSortedTypedAndStaysExhausted) {
    Scratch s;
    for (const char *name : {"b.zok", "a.zok"}) s.file(name, "x");  // out of order
    fs::create_symlink("a.zok", s.at("link"));
    fs::create_symlink("nowhere", s.at("dangling"));
    mkfifo(s.at("pipe").c_str(), 0600);
    DirPtr dir(openDir(s.dir.c_str(), 7));
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->tag, 7u);
    EXPECT_EQ(rest(dir.get()), (Listing{{".", ENTRY_DIR},
                                        {"..", ENTRY_DIR},
                                        {"a.zok", ENTRY_FILE},
                                        {"b.zok", ENTRY_FILE},
                                        {"dangling", ENTRY_LINK},
                                        {"link", ENTRY_LINK},
                                        {"pipe", ENTRY_OTHER}}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(readDir(dir.get()), nullptr);  // no rewind

    Scratch empty;
    DirPtr bare(openDir(empty.dir.c_str(), 0));
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
        EXPECT_EQ(err.rfind("openDir: ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(readDir(dir), nullptr);
        EXPECT_EQ(closeDir(dir), 1);
    }
}

TEST(Files, DeleteTellsMissingFromFailedAndExtensionsCountFromTheLastDot) {
    Scratch s;
    fs::create_directory(s.at("full"));
    s.file("full/inside", "x");
    struct Removal { const char *path; int want; bool left; };
    const std::string gone = s.file("gone.zok", "x"), missing = s.at("missing"), full = s.at("full");
    const Removal removals[] = {{nullptr, 1, false}, {missing.c_str(), 2, false},
                                {gone.c_str(), 0, false}, {full.c_str(), -1, true}};
    for (const Removal &r : removals) {
        EXPECT_EQ(deleteFile(r.path), r.want) << (r.path ? r.path : "null");
        if (r.path) {
            EXPECT_EQ(fileExists(r.path), r.left ? 1 : 0) << r.path;
        }
    }

    struct Ext { const char *name, *ext; int want; };
    const Ext exts[] = {{"start.zok", ".zok", 1}, {"start.zok", "zok", 0},  {"start", ".zok", 0},
                        {nullptr, ".zok", 0},     {"start.zok", nullptr, 0}, {"a.b.zok", ".zok", 1},
                        {"a.b.zok", ".b.zok", 0}, {"start.ZOK", ".zok", 0},  {".zok", ".zok", 1}};
    for (const Ext &e : exts)
        EXPECT_EQ(hasExtension(e.name, e.ext), e.want)
            << (e.name ? e.name : "null") << " / " << (e.ext ? e.ext : "null");
}
