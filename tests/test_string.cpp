// Heap string helpers: nulls, and short results formatted on the stack against long ones needing a second pass.
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
    EXPECT_EQ(catString(s, nullptr), s);
    s = catString(s, "s");
    EXPECT_STREQ(s, "lanterns");
    free(s);
    for (const char *src : {"x", static_cast<const char *>(nullptr)}) {
        EXPECT_STREQ(s = catString(nullptr, src), src ? src : "");
        free(s);
    }
}

TEST(String, SetStringFFormatsAnyLengthEvenFromItsOwnText) {
    char *s = setStringF(nullptr, "%s/%s.zok", "game", "start");
    EXPECT_STREQ(s, "game/start.zok");
    s = setStringF(s, "%s-%s", s, s);
    EXPECT_STREQ(s, "game/start.zok-game/start.zok");

    // 127 bytes still fit the short buffer; 128 and beyond need a second pass.
    for (size_t n : {127u, 128u, 1000u}) EXPECT_EQ(s = setStringF(s, "%s", std::string(n, 'x').c_str()), std::string(n, 'x'));

    // The second pass starts again from the first argument, and may read the
    // destination's old text too.
    std::string a(150, 'a');
    s = setStringF(s, "%s", "bb");
    s = setStringF(s, "%d:%s|%s", 42, a.c_str(), s);
    EXPECT_EQ(std::string(s), "42:" + a + "|bb");
    free(s);
}

TEST(String, CatStringFAppendsAndRefusesANullFormat) {
    std::string tail(300, 't');
    char *s = catStringF(strdup("map "), "%d of %s", 3, "7");
    s = catStringF(s, "%s", tail.c_str());
    EXPECT_EQ(std::string(s), "map 3 of 7" + tail);
    free(s);
    s = catStringF(nullptr, "%s", "only");
    EXPECT_STREQ(s, "only");

    // Called through a pointer so the compiler's format check stays out of it.
    char *(*const cat)(char *, const char *, ...) = catStringF;
    EXPECT_EQ(cat(s, nullptr, 1), nullptr);
    EXPECT_EQ(cat(nullptr, nullptr, 1), nullptr);
    EXPECT_STREQ(s, "only");  // still ours, still readable
    free(s);
}
