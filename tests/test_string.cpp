// Heap string helpers: nulls, and short results formatted on the stack against long ones needing a second pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "string.hpp"

TEST(String, CopyCatAndFormatAnyLengthEvenFromTheirOwnText) {
    char *s = copyString(nullptr, nullptr);
    EXPECT_STREQ(s, "");
    EXPECT_EQ(copyString(s, nullptr), s);  // nothing to copy: same string back
    EXPECT_STREQ(s = catString(copyString(s, "lantern"), "s"), "lanterns");
    EXPECT_EQ(catString(s, nullptr), s);
    s = setStringF(s, "%s-%s", s, s);  // the destination's old text as an argument
    EXPECT_STREQ(s, "lanterns-lanterns");
    // 127 bytes still fit the short buffer; 128 and beyond need a second pass, which starts again from the
    // first argument and may read the destination's old text too.
    for (size_t n : {127u, 128u, 1000u}) EXPECT_EQ(s = setStringF(s, "%s", std::string(n, 'x').c_str()), std::string(n, 'x'));
    const std::string a(150, 'a');
    s = setStringF(s, "%s", "bb");
    s = setStringF(s, "%d:%s|%s", 42, a.c_str(), s);
    EXPECT_EQ(std::string(s), "42:" + a + "|bb");
    free(s);

    s = catStringF(catStringF(nullptr, "%s", "map "), "%d of %s", 3, "7");
    s = catStringF(s, "%s", a.c_str());
    EXPECT_EQ(std::string(s), "map 3 of 7" + a);
    char *(*const cat)(char *, const char *, ...) = catStringF;  // through a pointer: no format check
    EXPECT_EQ(cat(s, nullptr, 1), nullptr);
    EXPECT_EQ(cat(nullptr, nullptr, 1), nullptr);
    EXPECT_EQ(std::string(s), "map 3 of 7" + a);  // still ours, still readable
    free(s);
    for (const char *src : {"x", static_cast<const char *>(nullptr)}) {
        EXPECT_STREQ(s = catString(nullptr, src), src ? src : "");
        free(s);
    }
}
