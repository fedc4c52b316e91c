// Heap string helpers: null handling, ownership hand-over and the split
// between short results formatted on the stack and long ones on the heap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "string.hpp"

TEST(String, CopyAndCatHandleNulls) {
    char *s = copyString(nullptr, nullptr);
    EXPECT_STREQ(s, "");
    EXPECT_EQ(copyString(s, nullptr), s);  // nothing to copy: same string back
    s = copyString(s, "lantern");           // the old string is released
    EXPECT_STREQ(s, "lantern");
    free(s);

    s = catString(strdup("ab"), "cd");
    EXPECT_STREQ(s, "abcd");
    EXPECT_EQ(catString(s, nullptr), s);
    EXPECT_STREQ(s, "abcd");
    free(s);
    for (const char *src : {"x", static_cast<const char *>(nullptr)}) {
        s = catString(nullptr, src);
        EXPECT_STREQ(s, src ? src : "");
        free(s);
    }
}

TEST(String, SetStringFFormatsAnyLength) {
    char *s = setStringF(nullptr, "%s/%s.zok", "game", "start");
    EXPECT_STREQ(s, "game/start.zok");

    // 127 bytes still fit the short buffer; 128 and beyond need a second pass.
    for (size_t n : {126u, 127u, 128u, 129u, 1000u}) {
        std::string want(n, 'x');
        s = setStringF(s, "%s", want.c_str());
        EXPECT_EQ(std::string(s), want) << n << " bytes";
    }

    // The second pass must start again from the first argument.
    std::string a(150, 'a'), b(90, 'b');
    s = setStringF(s, "%d:%s|%s", 42, a.c_str(), b.c_str());
    EXPECT_EQ(std::string(s), "42:" + a + "|" + b);
    free(s);
}

TEST(String, SetStringFMayUseItsOwnText) {
    char *s = setStringF(nullptr, "%s", "abc");
    s = setStringF(s, "%s-%s", s, s);
    EXPECT_STREQ(s, "abc-abc");

    std::string longText(100, 'q');
    s = setStringF(s, "%s", longText.c_str());
    s = setStringF(s, "%s|%s", s, s);  // 201 bytes, through the heap path
    EXPECT_EQ(std::string(s), longText + "|" + longText);
    free(s);
}

TEST(String, CatStringFAppends) {
    std::string tail(300, 't');
    char *s = catStringF(strdup("map "), "%d of %s", 3, "7");
    s = catStringF(s, "%s", tail.c_str());
    EXPECT_EQ(std::string(s), "map 3 of 7" + tail);
    free(s);
    s = catStringF(nullptr, "%s", "only");
    EXPECT_STREQ(s, "only");
    free(s);
}

TEST(String, CatStringFWithoutFormatLeavesDestinationAlone) {
    char *dst = strdup("keep");
    const char *noFormat = nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    EXPECT_EQ(catStringF(dst, noFormat, 1), nullptr);
    EXPECT_EQ(catStringF(nullptr, noFormat, 1), nullptr);
#pragma GCC diagnostic pop
    EXPECT_STREQ(dst, "keep");  // still ours, still readable
    free(dst);
}
