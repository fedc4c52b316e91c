// Words and word lists: growth at the edges, shrinking back, the list cursor, explodeString's pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Word.hpp"

namespace {

// The text, its length and capacity, and zeros from the text's end to the capacity.
void expectWord(const Word *w, uint32_t capacity, const std::string &text) {
    EXPECT_EQ(w->capacity, capacity) << text;
    EXPECT_EQ(std::string(w->text, w->length), text);
    for (uint32_t i = w->length; i < w->capacity; ++i) EXPECT_EQ(w->text[i], 0) << text << " at " << i;
}

void addText(Word *w, const std::string &s) {
    for (char c : s) addchar(w, c);
}

std::vector<std::string> texts(WordList *list) {
    std::vector<std::string> out;
    while (Word *w = readWordList(list)) out.emplace_back(w->text);
    return out;
}

}  // namespace

TEST(Word, GrowsAtExactlyFullByStepOrByWhatIsAddedAndClearsBack) {
    WordPtr w(newWord(16));
    addText(w.get(), "abcdefghijklmno");  // 15 bytes still fit with their zero
    expectWord(w.get(), 16, "abcdefghijklmno");
    EXPECT_EQ(addchar(w.get(), 'p'), 0);  // the 16th needs room
    expectWord(w.get(), 32, "abcdefghijklmnop");
    addText(w.get(), std::string(40, 'x'));
    EXPECT_EQ(w->capacity, 64u);
    EXPECT_EQ(clearWord(w.get()), 0);
    expectWord(w.get(), 16, "");
    addText(w.get(), "abc");  // emptied without having grown
    EXPECT_EQ(clearWord(w.get()), 0);
    expectWord(w.get(), 16, "");

    // catWords grows by the source's capacity, setWord by the string and its zero.
    WordPtr dst(newWord(32)), src(newWord(32)), fresh(newWord(0));
    addText(dst.get(), "ab");
    addText(src.get(), "cd");
    EXPECT_EQ(catWords(dst.get(), src.get()), 0);
    expectWord(dst.get(), 64, "abcd");
    expectWord(src.get(), 32, "cd");
    EXPECT_EQ(setWord(dst.get(), "ef"), 0);
    expectWord(dst.get(), 67, "abcdef");
    setWord(fresh.get(), "abc");
    expectWord(fresh.get(), 4, "abc");
}

// The interpreter appends plain lines in one step, reaching the capacity addchar would, with zeros behind.
TEST(Word, AddcharsGrowsAsAddcharDoes) {
    const std::string b(70, 'b');
    for (uint32_t before : {0u, 5u, 15u})
        for (uint32_t n = 0; n <= 50; ++n) {
            WordPtr one(newWord(16)), bulk(newWord(16));
            addText(one.get(), b.substr(0, before + n)), addText(bulk.get(), b.substr(0, before));
            const std::vector<char> neighbour(16, 'x');  // behind bulk's text: growing moves it into used memory
            EXPECT_EQ(addchars(bulk.get(), b.data(), n), 0);
            expectWord(bulk.get(), one->capacity, b.substr(0, before + n));
        }
}

// A growth whose capacity would pass 32 bits is refused before any memory moves: the Word below claims a
// capacity near the limit over a small block, which only a refused growth leaves untouched.
TEST(Word, GrowthPastTheCapacityIsRefusedAndLeavesTheWord) {
    WordPtr near(newWord(32)), src(newWord(32));
    addText(near.get(), "ab"), addText(src.get(), "cd");
    const uint32_t real = near->capacity;
    near->capacity = UINT32_MAX - 16;
    near->length = UINT32_MAX - 18;
    EXPECT_EQ(catWords(near.get(), src.get()), 1);
    EXPECT_EQ(setWord(near.get(), std::string(20, 'x').c_str()), 1);
    EXPECT_EQ(addchars(near.get(), "xyz", 3), 1);
    EXPECT_EQ(near->capacity, UINT32_MAX - 16);
    EXPECT_EQ(near->length, UINT32_MAX - 18);
    near->capacity = real, near->length = 2;
    expectWord(src.get(), 32, "cd");
}

TEST(Word, IsWordMatchesOnlyTheWholeText) {
    struct Case { const char *text, *probe; int want; };
    const Case cases[] = {{".desc", ".desc", 1}, {".desc", ".dend", 0}, {".desc", ".DESC", 0},
                          {".desc", ".des", 0},  {".desc", ".desc ", 0}, {".desc", "", 0},
                          {"", "", 1},           {"", ".", 0},           {"a", "ab", 0}};
    for (const Case &c : cases) {
        WordPtr w(newWord(4));  // ".desc" outgrows the first buffer
        addText(w.get(), c.text);
        EXPECT_EQ(isWord(w.get(), c.probe), c.want) << "'" << c.text << "' vs '" << c.probe << "'";
    }
}

TEST(WordList, ReadsRewindsGrowsByStepAndClearsBackToIt) {
    WordListPtr list(newWordList(8));
    EXPECT_EQ(readWordList(list.get()), nullptr);  // empty list
    Word *first = newWord(8), *second = newWord(8), *third = newWord(8);
    addWordList(list.get(), first);
    addWordList(list.get(), second);
    for (Word *want : {first, second, static_cast<Word *>(nullptr), first}) EXPECT_EQ(readWordList(list.get()), want);
    addWordList(list.get(), third);  // adding leaves the cursor where it was
    for (Word *want : {second, third, static_cast<Word *>(nullptr)}) EXPECT_EQ(readWordList(list.get()), want);

    for (int i = 3; i < 8; ++i) addWordList(list.get(), newWord(4));
    EXPECT_EQ(list->capacity, 8u);
    EXPECT_EQ(addWordList(list.get(), newWord(4)), 0);  // the ninth
    EXPECT_EQ(list->capacity, 16u);
    readWordList(list.get());
    EXPECT_EQ(clearWordList(list.get()), 0);  // releases all nine Words
    EXPECT_EQ(list->capacity, 8u);
    EXPECT_EQ(list->count + list->cursor, 0);
    EXPECT_EQ(readWordList(list.get()), nullptr);
}

TEST(WordList, ExplodeKeepsEmptyPiecesSizedToFitAfterWhatTheListHolds) {
    using V = std::vector<std::string>;
    for (const auto &[in, out] : std::vector<std::pair<const char *, V>>{
             {"a&&b", {"a", "", "b"}}, {"&a&", {"", "a", ""}}, {"&", {"", ""}}, {"", {""}}, {"lamp", {"lamp"}}}) {
        WordListPtr list(newWordList(8));
        EXPECT_EQ(explodeString(list.get(), '&', in), 0);
        EXPECT_EQ(texts(list.get()), out) << "input '" << in << "'";
    }
    WordListPtr list(newWordList(2));
    explodeString(list.get(), ',', "one,three");
    expectWord(list->items[1], 6, "three");
    explodeString(list.get(), ',', "x");
    EXPECT_EQ(texts(list.get()), (V{"one", "three", "x"}));
}
