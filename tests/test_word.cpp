// Words and word lists: growth at the edges, shrinking back, exact matching,
// the list cursor and the empty pieces of explodeString.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Word.hpp"

namespace {

// Every byte from the end of the text up to the capacity must be zero.
bool zeroBehind(const Word *w) {
    for (uint32_t i = w->length; i < w->capacity; ++i)
        if (w->text[i] != 0) return false;
    return true;
}

void addText(Word *w, const char *s) {
    while (*s) addchar(w, *s++);
}

void expectWord(const Word *w, uint32_t capacity, const char *text) {
    EXPECT_EQ(w->capacity, capacity) << text;
    EXPECT_EQ(w->length, strlen(text)) << text;
    EXPECT_STREQ(w->text, text);
}

std::vector<std::string> texts(WordList *list) {
    std::vector<std::string> out;
    while (Word *w = readWordList(list)) out.emplace_back(w->text);
    return out;
}

}  // namespace

TEST(Word, GrowsOnlyWhenTheTerminatorWouldBeLost) {
    WordPtr w(newWord(16));
    EXPECT_EQ(w->step, 16u);
    expectWord(w.get(), 16, "");
    EXPECT_TRUE(zeroBehind(w.get()));
    addText(w.get(), "abcdefghijklmno");  // 15 bytes still fit with their zero
    expectWord(w.get(), 16, "abcdefghijklmno");
    EXPECT_EQ(addchar(w.get(), 'p'), 0);  // the 16th needs room
    expectWord(w.get(), 32, "abcdefghijklmnop");
    EXPECT_TRUE(zeroBehind(w.get()));
}

TEST(Word, ClearShrinksBackToItsStep) {
    WordPtr w(newWord(32));
    for (int i = 0; i < 70; ++i) addchar(w.get(), 'x');
    ASSERT_EQ(w->capacity, 96u);
    EXPECT_EQ(clearWord(w.get()), 0);
    expectWord(w.get(), 32, "");
    EXPECT_TRUE(zeroBehind(w.get()));
}

TEST(Word, CatWordsAndSetWordGrowByWhatTheyAdd) {
    WordPtr dst(newWord(32)), src(newWord(32)), fresh(newWord(0)), held(newWord(32));
    addText(dst.get(), "ab");
    addText(src.get(), "cd");
    EXPECT_EQ(catWords(dst.get(), src.get()), 0);
    expectWord(dst.get(), 64, "abcd");  // grows by the source's capacity
    EXPECT_TRUE(zeroBehind(dst.get()));
    expectWord(src.get(), 32, "cd");

    EXPECT_EQ(setWord(fresh.get(), "abc"), 0);
    expectWord(fresh.get(), 4, "abc");
    addText(held.get(), "ab");
    setWord(held.get(), "cd");
    expectWord(held.get(), 35, "abcd");
}

TEST(Word, IsWordMatchesOnlyTheWholeText) {
    WordPtr w(newWord(32));
    addText(w.get(), ".desc");
    EXPECT_EQ(isWord(w.get(), ".desc"), 1);
    for (const char *other : {".dend", ".DESC", ".des", ".desc ", ""})
        EXPECT_EQ(isWord(w.get(), other), 0) << other;
}

TEST(WordList, GrowsByStepAndClearsBackToIt) {
    WordListPtr list(newWordList(8));
    for (int i = 0; i < 8; ++i) addWordList(list.get(), newWord(4));
    EXPECT_EQ(list->capacity, 8u);
    EXPECT_EQ(addWordList(list.get(), newWord(4)), 0);  // the ninth
    EXPECT_EQ(list->capacity, 16u);
    readWordList(list.get());
    EXPECT_EQ(clearWordList(list.get()), 0);  // releases all nine Words
    EXPECT_EQ(list->capacity, 8u);
    EXPECT_EQ(list->count + list->cursor, 0);
    EXPECT_EQ(readWordList(list.get()), nullptr);
}

TEST(WordList, ReadRewindsAfterTheEnd) {
    WordListPtr list(newWordList(8));
    EXPECT_EQ(readWordList(list.get()), nullptr);  // empty list

    Word *first = newWord(8), *second = newWord(8), *third = newWord(8);
    addWordList(list.get(), first);
    addWordList(list.get(), second);
    EXPECT_EQ(readWordList(list.get()), first);
    EXPECT_EQ(readWordList(list.get()), second);
    EXPECT_EQ(readWordList(list.get()), nullptr);
    EXPECT_EQ(readWordList(list.get()), first);

    addWordList(list.get(), third);  // adding leaves the cursor where it was
    EXPECT_EQ(readWordList(list.get()), second);
    EXPECT_EQ(readWordList(list.get()), third);
    EXPECT_EQ(readWordList(list.get()), nullptr);
}

TEST(WordList, ExplodeKeepsEmptyPieces) {
    using V = std::vector<std::string>;
    struct Case { const char *in; V out; };
    const Case cases[] = {{"a&&b", {"a", "", "b"}}, {"&a&", {"", "a", ""}}, {"&", {"", ""}},
                          {"", {""}},                {"lamp", {"lamp"}}};
    for (const Case &c : cases) {
        WordListPtr list(newWordList(8));
        EXPECT_EQ(explodeString(list.get(), '&', c.in), 0);
        EXPECT_EQ(texts(list.get()), c.out) << "input '" << c.in << "'";
    }

    // Pieces are sized to fit, and go after what the list already holds.
    WordListPtr list(newWordList(2));
    explodeString(list.get(), ',', "one,three");
    expectWord(list->items[1], 6, "three");
    explodeString(list.get(), ',', "x");
    EXPECT_EQ(texts(list.get()), (V{"one", "three", "x"}));
    EXPECT_EQ(list->capacity, 4u);
}
